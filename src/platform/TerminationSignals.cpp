#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm {

namespace {

// The write end for the handler: a signal handler may only write a byte.
volatile std::sig_atomic_t g_writeFd = -1;

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminationSignal(int)
{
    const int fd = g_writeFd;
    if (fd < 0)
        return;
    const char byte = 1;
    // Nothing to do on failure: a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (g_writeFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0)
        return;
    for (int fd : fds_) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    g_writeFd = fds_[0];
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    installed_ = true;
}

TerminationSignals::~TerminationSignals()
{
    if (installed_) {
        for (int sig : kSignals)
            std::signal(sig, SIG_DFL);
        g_writeFd = -1;
    }
    notifier_.reset();
    for (int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::Readable()
{
    char buffer[64];
    bool any = false;
    while (::read(fds_[1], buffer, sizeof buffer) > 0)
        any = true;
    if (any && onSignal_)
        onSignal_();
}

} // namespace vm
