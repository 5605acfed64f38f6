#include "widgets/ErrorBox.h"

#include "widgets/PlainText.h"

#include <QMessageBox>

#include <utility>

namespace veltrum {

namespace {
std::function<void(const QString&)>& Hook() {
    static std::function<void(const QString&)> hook;
    return hook;
}
} // namespace

void ShowErrorBox(QWidget* parent, const QString& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    // The text often names a file, and a file name may hold markup: shown as
    // it is, never as rich text.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Veltrum"), VisibleText(text), QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void SetErrorBoxHook(std::function<void(const QString&)> hook) {
    Hook() = std::move(hook);
}

} // namespace veltrum
