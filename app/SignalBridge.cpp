#include "app/SignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};

extern "C" void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe drops the byte: enough are already waiting to close the window.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

CSignalBridge::CSignalBridge(QObject* parent) : QObject(parent) {
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // a second bridge, or no pipe: signals keep their former handling
    }
    notifier = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &CSignalBridge::OnReadable);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], nullptr, &previous[i]);
        // A signal ignored from the start (nohup, a background job) stays ignored.
        const bool ignored =
            (previous[i].sa_flags & SA_SIGINFO) == 0 && previous[i].sa_handler == SIG_IGN;
        if (!ignored) {
            ::sigaction(kSignals[i], &action, nullptr);
        }
    }
}

CSignalBridge::~CSignalBridge() {
    if (!notifier) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &previous[i], nullptr);
    }
    notifier.reset();
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void CSignalBridge::OnReadable() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        emit Signalled(byte);
    }
}
