#pragma once
// The bandwidth graph window: the last HistoryLength download and upload rates
// (about kilobits per second) with their average lines and the two scale
// maxima, a two-line title and four value labels. It computes nothing: the
// poll cycle leaves the histories in the MonitorState and hands over the
// texts; Refresh only turns them into points and labels. The window is created
// hidden, lives until the program ends, and is refreshed whether shown or not.

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

class TFormWykres final : public QWidget {
    Q_OBJECT

public:
    // The bitmaps of "Save as BMP" go into `pictures`.
    TFormWykres(MonitorState& state, BitmapFolder pictures, QWidget* parent = nullptr);

    void Button1Click(); // apply GraphOpacity
    // The monitor restart's reconfiguration of a shown or hidden window:
    // opacity, caption, line visibility and the axis rule. Throws the chart
    // view's error for a negative scale while AutoScale is off.
    void ConfigureForRestart();
    // Title (the two lines given), all six series refilled from the state,
    // the four value labels.
    void Refresh(const GraphTexts& texts);
    void ClearValues();

    // The menu command: shows the window (FormShow runs as it becomes
    // visible) or, when it is shown already, only brings it forward.
    void ShowGraph();
    // Closes the window, shown or not: FormClose stores the position, then it hides.
    void CloseGraph();

    void FormShow();
    void FormClose();

    void BitBtn1Click(); // Reset
    void BitBtn2Click(); // Close
    void BitBtn3Click(); // Save as BMP; throws on failure
    void BitBtn4Click(); // Print; throws on failure
    void Chart1DblClick();

    TChart* Chart1 = nullptr;
    TLineSeries* Series1 = nullptr; // download rate
    TLineSeries* Series2 = nullptr; // upload rate
    TLineSeries* Series3 = nullptr; // download average
    TLineSeries* Series4 = nullptr; // upload average
    TLineSeries* Series5 = nullptr; // download scale maximum
    TLineSeries* Series6 = nullptr; // upload scale maximum
    QLabel* Label1 = nullptr;       // average download
    QLabel* Label2 = nullptr;       // average upload
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr; // current download
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr; // current upload
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
    void applyAxisRule();
    void applyLineVisibility();

    MonitorState& m_state;
    BitmapFolder m_pictures;
};

} // namespace veltrum
