#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace pictrove {

namespace {
int pipeEnds[2] = {-1, -1};
std::atomic<int> received{0};

extern "C" void onTerminationSignal(int)
{
    if (received.fetch_add(1) >= 2)
        _exit(128 + SIGTERM);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[0], &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0)
        return;
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void TerminationSignals::drain()
{
    char buffer[16];
    [[maybe_unused]] const ssize_t n = ::read(pipeEnds[1], buffer, sizeof buffer);
    if (m_closing)
        return;
    m_closing = true;
    if (m_onSignal)
        m_onSignal();
}

} // namespace pictrove
