#pragma once
// The packets graph window: the packet-rate twin of the bandwidth graph
// window (graphs/Wykres.h), sharing its base in graphs/GraphWindow.h.
// Incoming and outgoing unicast packets per poll interval with their average
// lines, the combined rate and its peak in the title, and in the top-left
// corner the poll cycle's resynchronisation marks. Its axis is always
// automatic and nothing is clipped here.

#include "graphs/GraphWindow.h"

#include <QString>

namespace veltrum {

class TFormWykresPkt final : public TGraphWindow {
    Q_OBJECT

public:
    // The bitmaps of "Save as BMP" ("_p") go into `pictures`. The poll
    // cycle's snapshot at the end of a traced resynchronisation calls
    // BitBtn3Click directly and needs the failure to come back.
    TFormWykresPkt(Monitor& monitor, BitmapFolder pictures, QWidget* parent = nullptr);

    // The resynchronisation mark (Label9): ">>", ">" or empty. Clearing the
    // values after a failed poll leaves it alone.
    void SetResyncMark(const QString& text);

    void Chart2DblClick();

    TChart* Chart2 = nullptr;
    QLabel* Label9 = nullptr; // resynchronisation marks

protected:
    // Always the automatic maximum; the restart also sets the manual one
    // that stands behind it.
    void applyScaleRules(bool forRestart) override;
    void showResyncMark(const std::string& text) override;

private:
    // The end of a traced resynchronisation saves the picture (BitBtn3Click).
    void OnResyncSnapshot() override;
};

} // namespace veltrum
