#include "app/CloseSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN

namespace vistrel {

// A window program on Windows hears of the session's end as WM_QUERYENDSESSION, which Qt hands to the
// window as commitDataRequest; there are no close signals to catch.
CloseSignals::CloseSignals(QObject* parent) : QObject(parent) {}
CloseSignals::~CloseSignals() = default;
void CloseSignals::OnReadable() {}

} // namespace vistrel

#else

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vistrel {

namespace {

constexpr std::array<int, 3> kCloseSignals {SIGTERM, SIGINT, SIGHUP};

// Read end and write end; the handler only ever touches the write end.
int signalPipe[2] = {-1, -1};

extern "C" void OnCloseSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pipe full, a close request is waiting already.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

CloseSignals::CloseSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &CloseSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kCloseSignals)
        ::sigaction(number, &action, nullptr);
}

CloseSignals::~CloseSignals()
{
    if (!notifier)
        return;
    for (int number : kCloseSignals)
        std::signal(number, SIG_DFL);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void CloseSignals::OnReadable()
{
    unsigned char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1)
        emit CloseRequested(number);
}

} // namespace vistrel

#endif
