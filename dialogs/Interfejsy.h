#pragma once
// The interface list: as it opens, it walks the interface table of the agent
// its caller names (the settings dialog: host, community and protocol version
// as edited, not as saved) through the monitor (InterfaceWalkSession, core),
// and lists every interface that has a description, whatever its number, with
// its ifName and ifAlias where the agent has them. Confirming a row hands that row's
// interface number (not its position) back to the caller. A walk that lists
// nothing says why over the empty list.
//
// The walk goes an exchange per turn of the event loop, rows appearing as
// they come, so a slow agent or a long table never holds the program (the
// main window polls on meanwhile). A line under the list says that the walk
// is under way, and afterwards whether the list stops short of the table:
// silence or an error cut it, or the table has more rows than are listed.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace veltrum {

struct InterfaceRow;
class InterfaceWalkSession;

class TFormInterfejsy final : public QDialog {
    Q_OBJECT

public:
    explicit TFormInterfejsy(QWidget* parent = nullptr);
    ~TFormInterfejsy() override;

    // `startWalk` starts each walk, on the agent the caller names;
    // `chosen` receives the interface number OK confirms. Without a caller
    // the list opens empty.
    // `startWalk` is given what to call when the walk may step again.
    void SetCaller(std::function<std::unique_ptr<InterfaceWalkSession>(std::function<void()>)> startWalk,
                   std::function<void(int32_t)> chosen);

    void FormShow();      // starts the interface walk
    bool Walking() const; // the walk is under way
    void BitBtn1Click();  // OK, and a double click on a row
    void BitBtn2Click();  // Cancel

    // The status word of an ifOperStatus value text (RFC 2863 section 6:
    // up(1) to lowerLayerDown(7)); any other text is "Unknown".
    static std::string StatusWord(const std::string& operStatus);
    // A row's text: " 2: eth0 (Up)", with " [ifName]" and " \"ifAlias\""
    // after the description where they add to it; the agent's texts on one
    // line, control characters written out (widgets/PlainText.h).
    static std::string RowText(const InterfaceRow& row);

    // The interface number each row shows; entry r belongs to row r.
    const std::vector<int32_t>& RowInterfaces() const { return m_rowInterfaces; }
    int RowCount() const { return static_cast<int>(m_rowInterfaces.size()); }

    QListWidget* ListBox1 = nullptr;
    // Over the list when the walk found nothing: why (FailureText).
    QLabel* EmptyReason = nullptr;
    // Under the list while the walk runs, and after a walk cut short.
    QLabel* WalkNote = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    // The walk runs here, before the dialog becomes visible.
    void setVisible(bool visible) override;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void stepWalk();
    void finishWalk();
    void stopWalk();
    void setNote(const QString& text);

    std::function<std::unique_ptr<InterfaceWalkSession>(std::function<void()>)> m_startWalk;
    std::unique_ptr<InterfaceWalkSession> m_walk;
    QTimer* m_walkTimer = nullptr;
    std::function<void(int32_t)> m_chosen;
    std::vector<int32_t> m_rowInterfaces;
};

} // namespace veltrum
