#include "agwlink.h"

#ifdef __linux__

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zenohost {

EngineLink::EngineLink(std::string host, std::string port, Handlers handlers)
    : host_(std::move(host)), port_(std::move(port)), handlers_(std::move(handlers))
{
}

short EngineLink::events() const
{
    return static_cast<short>(POLLIN | (connecting_ || !out_.empty() ? POLLOUT : 0));
}

void EngineLink::connectWhenDue(Clock::time_point now)
{
    if (socket_ < 0 && now >= retryAt_)
        connectNow();
}

void EngineLink::down(const std::string &why)
{
    if (!downReported_)
        std::fprintf(stderr, "zeno-host: no engine at %s (%s); trying again every %d s\n",
                     where().c_str(), why.c_str(), kRetryMs / 1000);
    downReported_ = true;
    const bool wasActive = active_;
    close();
    retryAt_ = Clock::now() + std::chrono::milliseconds(kRetryMs);
    if (wasActive)
        handlers_.lost();
}

void EngineLink::close()
{
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
    connecting_ = false;
    active_ = false;
    out_.clear();
    reader_.clear();
}

void EngineLink::connectNow()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int e = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found); e != 0) {
        down(gai_strerror(e));
        return;
    }
    // Engines listen on IPv4: "localhost" means 127.0.0.1 to them.
    const addrinfo *use = found;
    for (const addrinfo *a = found; a; a = a->ai_next)
        if (a->ai_family == AF_INET) {
            use = a;
            break;
        }
    socket_ = ::socket(use->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool started = socket_ >= 0 && (::connect(socket_, use->ai_addr, use->ai_addrlen) == 0 ||
                                          errno == EINPROGRESS);
    freeaddrinfo(found);
    if (!started) {
        down(std::strerror(errno));
        return;
    }
    connecting_ = true;
}

void EngineLink::service(short events)
{
    if (connecting_) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            down(std::strerror(error));
            return;
        }
        if (!(events & (POLLOUT | POLLIN)))
            return;
        connecting_ = false;
        // Raw frames, monitor texts (which bring our own transmissions
        // back), then the port list: its answer shows the first two are
        // in force.
        for (const char kind : {'k', 'm', 'G'})
            send(agw::encode({0, kind, 0, {}, {}, {}}));
    }
    if (events & POLLIN) {
        char buffer[8192];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                down(n == 0 ? "it closed the link" : std::strerror(errno));
            return;
        }
        reader_.append(buffer, static_cast<std::size_t>(n));
        while (socket_ >= 0) {
            const auto frame = reader_.next();
            if (!frame)
                break;
            take(*frame);
        }
        if (reader_.lost()) {
            down("it sent a frame longer than any engine sends");
            return;
        }
    } else if (events & (POLLERR | POLLHUP)) {
        down("the link failed");
        return;
    }
    flush();
}

void EngineLink::send(const std::string &bytes)
{
    out_ += bytes;
    flush();
}

void EngineLink::flush()
{
    while (socket_ >= 0 && !connecting_ && !out_.empty()) {
        const ssize_t n = ::send(socket_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                down(std::strerror(errno));
            return;
        }
        out_.erase(0, static_cast<std::size_t>(n));
    }
}

void EngineLink::take(const agw::Frame &frame)
{
    if (!active_) {
        active_ = true;
        downReported_ = false;
        std::fprintf(stderr, "zeno-host: connected to the engine at %s\n", where().c_str());
        handlers_.answered();
    }
    handlers_.frame(frame);
}

} // namespace zenohost

#endif
