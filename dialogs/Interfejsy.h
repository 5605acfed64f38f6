#pragma once
// The interface list: as it opens, it walks interface numbers 1 to 128 of the
// agent typed in the settings dialog (host and community as edited, not as
// saved), asking each for ifDescr and ifOperStatus, and lists those that
// answer with a description. Confirming a row puts that row's interface
// number (not its position) into the settings dialog's interface field. A
// walk that lists nothing says why over the empty list.

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace veltrum {

class TFormGlowny;

class TFormInterfejsy final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMaxInterfaces = 128;

    explicit TFormInterfejsy(TFormGlowny& main);
    ~TFormInterfejsy() override;

    void FormShow();     // the interface walk
    void BitBtn1Click(); // OK, and a double click on a row
    void BitBtn2Click(); // Cancel

    // The status word of an ifOperStatus value text (RFC 2863 section 6:
    // up(1) to lowerLayerDown(7)); any other text is "Unknown".
    static std::string StatusWord(const std::string& operStatus);

    // The interface number each row shows; entry r belongs to row r.
    const std::array<int32_t, kMaxInterfaces>& RowInterfaces() const { return m_rowInterfaces; }
    int RowCount() const { return m_rowCount; }

    QListWidget* ListBox1 = nullptr;
    // Over the list when the walk found nothing: why (FailureText).
    QLabel* EmptyReason = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    // The walk runs here, before the dialog becomes visible.
    void setVisible(bool visible) override;

private:
    TFormGlowny& m_main;
    std::array<int32_t, kMaxInterfaces> m_rowInterfaces{};
    int m_rowCount = 0;
};

} // namespace veltrum
