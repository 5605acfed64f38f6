#pragma once
// The packets graph window: the packet-rate twin of the bandwidth graph
// window (graphs/Wykres.h). Incoming and outgoing unicast packets per poll
// interval with their average lines, the combined rate and its peak in the
// title, and in the top-left corner the poll cycle's resynchronisation marks.
// Its axis is always automatic and nothing is clipped here.

#include "app/core/MonitorState.h"
#include "app/core/PollCycle.h"
#include "graphs/BitmapFolder.h"

#include <QWidget>

#include <string>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace veltrum {

class TChart;
class TLineSeries;

class TFormWykresPkt final : public QWidget {
    Q_OBJECT

public:
    // The bitmaps of "Save as BMP" go into `pictures`.
    TFormWykresPkt(MonitorState& state, BitmapFolder pictures, QWidget* parent = nullptr);

    void Button1Click(); // apply GraphOpacity
    // The monitor restart's reconfiguration: opacity, caption, average-line
    // visibility, automatic axis.
    void ConfigureForRestart();
    void Refresh(const GraphTexts& texts);
    void ClearValues();
    // The resynchronisation mark (Label9): ">>", ">" or empty.
    void SetResyncMark(const QString& text);

    void ShowGraph();
    void CloseGraph();

    void FormShow();
    void FormClose();

    void BitBtn1Click(); // Reset: the packets side only
    void BitBtn2Click(); // Close
    // Save as BMP ("_p"). The poll cycle's snapshot at the end of a traced
    // resynchronisation calls it directly and needs the failure to come back.
    void BitBtn3Click();
    void BitBtn4Click(); // Print; throws on failure
    void Chart2DblClick();

    TChart* Chart2 = nullptr;
    TLineSeries* Series1 = nullptr; // incoming packets
    TLineSeries* Series2 = nullptr; // outgoing packets
    TLineSeries* Series3 = nullptr; // incoming average
    TLineSeries* Series4 = nullptr; // outgoing average
    QLabel* Label1 = nullptr;       // average in
    QLabel* Label2 = nullptr;       // average out
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr; // current in
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr; // current out
    QLabel* Label9 = nullptr; // resynchronisation marks
    QMenu* PopupMenu1 = nullptr;
    QAction* Close1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* SaveAsBMP1 = nullptr;
    QAction* Reset1 = nullptr;
    QPushButton* Button1 = nullptr; // never visible

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    MonitorState& m_state;
    BitmapFolder m_pictures;
};

} // namespace veltrum
