#pragma once
// What the bandwidth and packets graph windows (graphs/Wykres.h,
// graphs/WykresPkt.h) have in common: a fixed-size tool window filled by one
// chart view, four value labels and their captions over the chart, the
// pop-up menu (Close, Print, Save as BMP, Reset) and the hidden opacity
// button, the show and close plumbing that gives the window's place and open
// flag to its monitor, the refresh of the four rate and average lines, the
// bitmap and the print. A window describes itself with a GraphWindowKind and
// adds only its own lines and its axis rule.
//
// The windows compute nothing of their own: each keeps its four lines and
// moves them on with each sample's step exactly as the poll moves the
// state's histories (core/GraphSeries.h), and makes its texts from the
// sample's numbers (core/SampleTexts.h). A window is created hidden, lives
// until the program ends and is refreshed whether shown or not, so showing
// it presents the current picture.

#include "core/GraphSeries.h"
#include "core/Monitor.h"
#include "core/SampleTexts.h"
#include "graphs/BitmapFolder.h"

#include <QPoint>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace veltrum {

class TChart;
class TLineSeries;

// A label laid over the chart: its place and, for a caption, its fixed text
// (empty for a value label).
struct GraphOverlay {
    int Left;
    int Top;
    const char* Text;
};

// Everything in which the two graph windows differ besides their own lines
// and axis rule.
struct GraphWindowKind {
    const char* ObjectName;
    // Where the window stands until it is first shown: a window never shown
    // in a session saves this at exit, not the 0,0 of an unplaced window.
    QPoint DesignPlace;
    const char* ChartName;
    const char* AxisTitle;
    const char* CaptionSuffix; // after SessionName
    const char* BitmapSide;    // "b" or "p" in the bitmap's name
    // In creation order: Label5, Label6, Label7, Label8, Label3, Label1,
    // Label4, Label2.
    std::array<GraphOverlay, 8> Labels;
    // Whose place, open flag and Reset this window's are.
    GraphSide Side;
    // How a poll's sample moves this window's lines on.
    std::optional<GraphStep> PollSample::*Lines;
    // This window's texts of a poll's sample, when the poll refreshed it.
    std::optional<GraphTexts> (*Texts)(const PollSample&, const NumberLocale&);
};

class TGraphWindow : public QWidget, public MonitorSubscriber {
    Q_OBJECT

public:
    void Button1Click(); // apply GraphOpacity
    // The monitor restart's reconfiguration of a shown or hidden window:
    // opacity, caption, line visibility and the axis rule. It sets no pen
    // colours: changed colours reach the plot through the points of the next
    // refresh.
    void ConfigureForRestart();
    // Title (the two lines given), the series refilled from the window's
    // lines, the four value labels.
    void Refresh(const GraphTexts& texts);
    // The lines Series1..Series4 draw, slot for slot as the poll keeps the
    // state's histories: the two rates, then their averages.
    GraphLines& Lines() { return m_lines; }
    // After a failed poll: the four value labels emptied; title and series
    // wait for the next successful refresh.
    void ClearValues();
    // A poll's sample: this window's refresh, or after a failure ClearValues.
    void OnSample(const PollSample& sample) override;

    // The menu command: shows the window (FormShow runs as it becomes
    // visible) or, when it is shown already, only brings it forward.
    void ShowGraph();
    // Closes the window, shown or not: FormClose stores the position, then it hides.
    void CloseGraph();

    void FormShow();
    void FormClose();

    // The main window's F11 and F12 work here too; the main window hands over
    // what they do (show the bandwidth graph, show the packets graph).
    void SetGraphShortcuts(std::function<void()> showBandwidth, std::function<void()> showPackets);

    void BitBtn1Click(); // Reset: this window's side only
    void BitBtn2Click(); // Close
    // Save as BMP; throws on failure (the menu shows it in the error box).
    // A passing note at the foot of the window names the file written.
    void BitBtn3Click();
    void BitBtn4Click(); // Print; throws on failure

    // Series1 and Series2: the two rates; Series3 and Series4: their averages.
    TLineSeries* Series1 = nullptr;
    TLineSeries* Series2 = nullptr;
    TLineSeries* Series3 = nullptr;
    TLineSeries* Series4 = nullptr;
    QLabel* Label1 = nullptr; // average download / packets in
    QLabel* Label2 = nullptr; // average upload / packets out
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr; // current download / packets in
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr; // current upload / packets out
    QMenu* PopupMenu1 = nullptr;
    QAction* Close1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* SaveAsBMP1 = nullptr;
    QAction* Reset1 = nullptr;
    QPushButton* Button1 = nullptr; // never visible
    // The note of the last save, shown for a few seconds; nullptr before the first.
    const QLabel* SaveNote() const { return m_saveNote; }

protected:
    // The bitmaps of "Save as BMP" go into `pictures`. Makes the chart, the
    // labels, the menu and Button1; the window then adds its series in
    // drawing order and calls styleRateSeries.
    TGraphWindow(Monitor& monitor, BitmapFolder pictures, const GraphWindowKind& kind, QWidget* parent);

    TChart* chart() const { return m_chart; }
    // The pens Series1..Series4 start with: rates solid 2 pixels, averages
    // dotted 1 pixel, download yellow and upload red.
    void styleRateSeries();

    // The window's own line visibility and left-axis rule, after the average
    // lines have been shown or hidden. `forRestart` tells the monitor
    // restart's reconfiguration from the show.
    virtual void applyScaleRules(bool forRestart) = 0;
    // Series beyond Series1..Series4, refilled after them with `length` points.
    virtual void refillOwnSeries(int32_t length);
    // A poll's resynchronisation mark, before its refresh; only the packets
    // graph shows one.
    virtual void showResyncMark(const std::string& text) { (void)text; }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    Monitor& m_monitor;

private:
    void setCaption();
    // "Saved as" and the file's path for a few seconds.
    void showSaveNote(const QString& path);
    void applyLineRules(bool forRestart);

    GraphWindowKind m_kind;
    GraphLines m_lines;
    BitmapFolder m_pictures;
    TChart* m_chart = nullptr;
    QLabel* m_saveNote = nullptr;
    QTimer* m_saveNoteTimer = nullptr;
    std::function<void()> m_showBandwidth;
    std::function<void()> m_showPackets;
};

} // namespace veltrum
