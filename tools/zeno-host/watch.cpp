#include "watch.h"

#include "report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace zenohost {

#ifdef __linux__
CommandWatch::CommandWatch(fs::path folder) : folder_(std::move(folder))
{
    fd_ = inotify_init1(IN_CLOEXEC);
}

bool CommandWatch::add()
{
    std::error_code ec;
    fs::create_directories(folder_, ec);
    return fd_ >= 0 && inotify_add_watch(fd_, folder_.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) >= 0;
}

bool CommandWatch::wait(std::deque<std::string> &names)
{
    if (!readEvents(names, true))
        return false;
    int more = 0;
    while (ioctl(fd_, FIONREAD, &more) == 0 && more > 0)
        if (!readEvents(names, false))
            return false;
    return true;
}

bool CommandWatch::commandWaits(const std::deque<std::string> &names)
{
    return std::find(names.begin(), names.end(), "Command") != names.end();
}

bool CommandWatch::readEvents(std::deque<std::string> &names, bool block)
{
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t n;
    do {
        n = read(fd_, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return !block && n == 0;
    for (ssize_t at = 0; at < n;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW)
            std::fputs("zeno-host: too many changes at once; some were missed\n", stderr);
        if (event->mask & IN_IGNORED) {
            std::fprintf(stderr, "zeno-host: %s went away; watching it anew\n",
                         folder_.string().c_str());
            if (!add())
                return false;
        }
        if (event->len > 0 && event->name[0] != '.')
            names.emplace_back(event->name);
    }
    return true;
}
#endif

int watch(DirectoryStore &mailbox)
{
#ifdef __linux__
    CommandWatch watch(commandFolder(mailbox));
    if (!watch.add()) {
        std::fprintf(stderr, "zeno-host: cannot watch %s: %s\n", watch.folder().string().c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "zeno-host: watching %s\n", watch.folder().string().c_str());
    std::fflush(stderr);
    std::deque<std::string> names;
    for (;;) {
        if (!watch.wait(names))
            return 1;
        while (!names.empty()) {
            const std::string name = names.front();
            names.pop_front();
            // Values are read when the command is seen, as the host reads
            // them; a command already written behind this one may have
            // replaced them.
            if (name == "Command" && CommandWatch::commandWaits(names))
                std::fputs("zeno-host: fell behind the gateway; the next line may show a later "
                           "command's values\n",
                           stderr);
            reportCommand(mailbox, name);
        }
    }
#else
    (void)mailbox;
    std::fputs("zeno-host: watch needs Linux\n", stderr);
    return 1;
#endif
}

} // namespace zenohost
