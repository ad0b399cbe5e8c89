#include "TerminationSignals.h"

#include "foundation/Logging.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcTermination, "App")

namespace morvane {

namespace {
constexpr std::array handledSignals = {SIGTERM, SIGINT, SIGHUP};

// [0] is read by the event loop, [1] written by the handler; both non-blocking, so a handler never
// waits on a full socket.
int signalSockets[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (::write(signalSockets[1], &byte, 1) < 0) {
        // Nothing can be reported from here; the byte already waiting is enough to quit.
    }
    errno = savedErrno;
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    Q_ASSERT(signalSockets[0] < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        qCWarning(lcTermination) << "Termination signals stay fatal: no socket pair," << strerror(errno);
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the next arrival gets the default action, so a hung shutdown can still be ended.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signalNumber : handledSignals)
        sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (m_notifier == nullptr)
        return;
    for (const int signalNumber : handledSignals)
        std::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void TerminationSignals::readPending()
{
    unsigned char byte = 0;
    while (::read(signalSockets[0], &byte, 1) == 1) {
        qCInfo(lcTermination) << "Quitting on signal" << byte;
        emit received(byte);
    }
}

} // namespace morvane
