#pragma once
// The About window: the product's name with a miniature of the two bar
// gauges, the version, and a hidden link label that, when clicked, has the
// main window open the product web page a tenth of a second later.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace veltrum {

class MonitorControl;

class TFormOprogramie final : public QDialog {
    Q_OBJECT

public:
    // The picture, kept with the window as an uncompressed 24-bit bottom-up BMP.
    static const char* const kPictureResource;

    explicit TFormOprogramie(MonitorControl& monitor);
    ~TFormOprogramie() override;

    void BitBtn1Click();
    void Label3Click();

    QFrame* Panel2 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr; // version
    QLabel* Label3 = nullptr; // web page link, hidden
    QPushButton* BitBtn1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MonitorControl& m_main;
};

} // namespace veltrum
