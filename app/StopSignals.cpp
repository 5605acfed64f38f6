#include "app/StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace veltrum {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal) {
    const int saved = errno;
    const auto number = static_cast<unsigned char>(signal);
    // A full pipe already holds a stop to act on.
    (void)!::write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the default actions stay: the history keeps what it wrote
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readPipe(); });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    if (g_pipe[0] < 0) {
        return;
    }
    // A signal from now on ends the process as it would have.
    for (const int signal : kStopSignals) {
        ::signal(signal, SIG_DFL);
    }
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::readPipe() {
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1) {
        emit Received(number);
    }
}

} // namespace veltrum
