#pragma once
// The signals that ask a program to end politely: SIGTERM (a logout,
// `systemctl --user stop`, `kill`), SIGINT (Ctrl+C) and SIGHUP (its terminal
// closed). The handler only writes the signal's number into a pipe; the
// event loop reads it and emits Received, so the shutdown save runs as
// ordinary code, never inside a handler.

#include <QObject>

class QSocketNotifier;

namespace veltrum {

class StopSignals final : public QObject {
    Q_OBJECT

public:
    // One per process: the handlers are the process's.
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

signals:
    void Received(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace veltrum
