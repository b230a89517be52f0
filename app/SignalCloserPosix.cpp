#include "SignalCloser.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// One pipe per process: a signal handler cannot know which object to tell.
int pipeFds[2] = {-1, -1};
struct sigaction previousInt {};
struct sigaction previousTerm {};
// Set by the handler itself, for waits that hold the event loop up.
volatile std::sig_atomic_t signalArrived = 0;

extern "C" void OnCloseSignal(int signal) {
    const int savedErrno = errno;
    signalArrived = 1;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a pending close; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

TSignalCloser::TSignalCloser(QWidget& window) : window_(window) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;  // without the pipe the signals keep their default action
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TSignalCloser::SignalArrived);

    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

TSignalCloser::~TSignalCloser() {
    if (pipeFds[0] < 0) return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
    signalArrived = 0;
}

bool CloseSignalArrived() { return signalArrived != 0; }

void TSignalCloser::SignalArrived() {
    unsigned char bytes[16];
    while (::read(pipeFds[0], bytes, sizeof bytes) > 0) {
    }
    EndOtherWindows();
    window_.close();
}
