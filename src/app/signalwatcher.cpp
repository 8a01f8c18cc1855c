#include "app/signalwatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel {

namespace {
int pipeFds[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    // Nothing else is safe here. The socket does not block: when it is full,
    // the same signal is already waiting to be read.
    [[maybe_unused]] const auto n = ::write(pipeFds[1], &byte, 1);
}
} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    // Output to a closed pipe (kestrel --headless | head) must not end the
    // program: the write fails and the gateway goes on.
    std::signal(SIGPIPE, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaction(number, &action, nullptr);
}

void SignalWatcher::readSignal()
{
    char byte = 0;
    if (::read(pipeFds[0], &byte, 1) != 1)
        return;
    if (byte == SIGUSR1)
        emit user1();
    else
        emit terminate(byte == SIGINT   ? QStringLiteral("SIGINT")
                       : byte == SIGHUP ? QStringLiteral("SIGHUP")
                                        : QStringLiteral("SIGTERM"));
}

} // namespace kestrel
