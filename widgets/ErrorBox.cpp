#include "widgets/ErrorBox.h"

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
    QMessageBox::critical(parent, QStringLiteral("Veltrum"), text);
}

void SetErrorBoxHook(std::function<void(const QString&)> hook) {
    Hook() = std::move(hook);
}

} // namespace veltrum
