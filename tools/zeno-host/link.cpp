#include "link.h"

#ifdef __linux__

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace zenohost {

namespace {

// Past this much waiting to go out, the TNC is taking nothing (a serial line
// held up); what waits is dropped rather than kept without end.
constexpr std::size_t kMaxWaiting = 64 * 1024;

struct Speed
{
    int baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                             {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

} // namespace

StreamLink::StreamLink(Target target, const char *what, Handlers handlers)
    : target_(std::move(target)), what_(what), handlers_(std::move(handlers))
{
}

bool StreamLink::usableBaud(int baud)
{
    for (const Speed &s : kSpeeds)
        if (s.baud == baud)
            return true;
    return false;
}

short StreamLink::events() const
{
    return static_cast<short>(POLLIN | (connecting_ || !out_.empty() ? POLLOUT : 0));
}

void StreamLink::connectWhenDue(Clock::time_point now)
{
    if (fd_ < 0 && now >= retryAt_) {
        if (target_.device.empty())
            connectNow();
        else
            openDevice();
    }
}

void StreamLink::fail(const std::string &why)
{
    if (!downReported_)
        std::fprintf(stderr, "zeno-host: no %s at %s (%s); trying again every %d s\n", what_,
                     target_.where().c_str(), why.c_str(), kRetryMs / 1000);
    downReported_ = true;
    const bool wasOpened = opened_;
    close();
    retryAt_ = Clock::now() + std::chrono::milliseconds(kRetryMs);
    if (wasOpened)
        handlers_.closed();
}

void StreamLink::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    connecting_ = false;
    opened_ = false;
    out_.clear();
}

void StreamLink::opened()
{
    opened_ = true;
    downReported_ = false;
    handlers_.opened();
}

void StreamLink::connectNow()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int e = getaddrinfo(target_.host.c_str(), target_.port.c_str(), &hints, &found);
        e != 0) {
        fail(gai_strerror(e));
        return;
    }
    // Engines listen on IPv4: "localhost" means 127.0.0.1 to them.
    const addrinfo *use = found;
    for (const addrinfo *a = found; a; a = a->ai_next)
        if (a->ai_family == AF_INET) {
            use = a;
            break;
        }
    fd_ = ::socket(use->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool started =
        fd_ >= 0 && (::connect(fd_, use->ai_addr, use->ai_addrlen) == 0 || errno == EINPROGRESS);
    const int error = errno;
    freeaddrinfo(found);
    if (!started) {
        fail(std::strerror(error));
        return;
    }
    connecting_ = true;
}

void StreamLink::openDevice()
{
    fd_ = ::open(target_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        fail(std::strerror(errno));
        return;
    }
    // Raw bytes, 8N1, no flow control, at the chosen speed.
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
        fail("not a serial line");
        return;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    for (const Speed &s : kSpeeds)
        if (s.baud == target_.baud) {
            cfsetispeed(&t, s.code);
            cfsetospeed(&t, s.code);
        }
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
        fail(std::strerror(errno));
        return;
    }
    tcflush(fd_, TCIOFLUSH);
    opened();
}

void StreamLink::service(short events)
{
    if (connecting_) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            fail(std::strerror(error));
            return;
        }
        if (!(events & (POLLOUT | POLLIN)))
            return;
        connecting_ = false;
        opened();
    }
    if (events & POLLIN) {
        char buffer[8192];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            // A device unplugged (or a pseudo-terminal's other end closed)
            // reads as the end or as an I/O error.
            const bool gone = n == 0 || errno == EIO;
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                fail(!gone                    ? std::strerror(errno)
                     : target_.device.empty() ? "it closed the link"
                                              : "the device went away");
            return;
        }
        handlers_.received(std::string_view(buffer, static_cast<std::size_t>(n)));
        if (fd_ < 0)
            return;
    } else if (events & (POLLERR | POLLHUP)) {
        fail(target_.device.empty() ? "the link failed" : "the device went away");
        return;
    }
    flush();
}

void StreamLink::send(std::string_view bytes)
{
    if (out_.size() + bytes.size() > kMaxWaiting) {
        std::fprintf(stderr, "zeno-host: the %s at %s takes nothing; %zu bytes waiting dropped\n",
                     what_, target_.where().c_str(), out_.size());
        out_.clear();
    }
    out_ += bytes;
    flush();
}

void StreamLink::flush()
{
    while (fd_ >= 0 && !connecting_ && !out_.empty()) {
        // A socket that closed must not raise SIGPIPE.
        const ssize_t n = target_.device.empty()
                              ? ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL)
                              : ::write(fd_, out_.data(), out_.size());
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                fail(std::strerror(errno));
            return;
        }
        out_.erase(0, static_cast<std::size_t>(n));
    }
}

} // namespace zenohost

#endif
