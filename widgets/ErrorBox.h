#pragma once
// The application's standard error box. Every event handler that can fail
// runs through RunGuarded, so no exception ever crosses the Qt event loop and
// only the GUI shows message boxes.

#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace veltrum {

// Shows `text` as plain text in a critical message box titled "Veltrum".
void ShowErrorBox(QWidget* parent, const QString& text);

// Tests replace the box with a recorder; an empty function restores it.
void SetErrorBoxHook(std::function<void(const QString&)> hook);

// Runs `handler`; an exception it throws is shown in the error box.
// Returns false when the handler failed.
template <class Handler> bool RunGuarded(QWidget* parent, Handler&& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromStdString(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unexpected error"));
    }
    return false;
}

} // namespace veltrum
