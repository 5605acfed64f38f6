// The print module (veltrum-print.so): the only code of the program that
// uses Qt's print support.
#include "widgets/ChartPrint.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

extern "C" Q_DECL_EXPORT void veltrum_print_chart_landscape(veltrum::ChartPrintJob& job) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        job.Error = QStringLiteral("There is no default printer currently selected");
        return;
    }
    // The job gets a printer object of its own, so the landscape orientation
    // never outlives the job: the default printer keeps its own settings.
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(job.DocName);
    printer.setFullPage(false);

    QPainter painter;
    if (!painter.begin(&printer)) {
        job.Error = QStringLiteral("Cannot start printing on %1").arg(info.printerName());
        return;
    }
    try {
        const int w = printer.width();
        const int h = printer.height();
        const int marginX = qRound(w * 0.15);
        const int marginY = qRound(h * 0.15);
        const QRect page(QPoint(marginX, marginY), QPoint(w - marginX - 1, h - marginY - 1));
        job.Render(painter, page);
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted) {
        job.Error = QStringLiteral("Printing failed on %1").arg(info.printerName());
    }
}
