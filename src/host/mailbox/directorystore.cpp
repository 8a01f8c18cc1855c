#include "host/mailbox/directorystore.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kestrel::mailbox {

namespace {

// A key part such as ".." or "" must not lead out of the store.
bool safePart(const std::string &part)
{
    return !part.empty() && part != "." && part != ".." && part.find('/') == std::string::npos &&
           part.find('\0') == std::string::npos;
}

#ifndef _WIN32
bool writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
#endif

} // namespace

DirectoryStore::DirectoryStore(fs::path folder) : folder_(std::move(folder)) {}

std::string DirectoryStore::problem() const
{
    std::error_code ec;
    if (fs::is_directory(folder_, ec))
        return {};
    return "the mailbox folder " + folder_.string() + " is missing";
}

fs::path DirectoryStore::valuePath(const std::string &root, const std::string &key,
                                   const std::string &name) const
{
    fs::path path = folder_ / root;
    std::string part;
    for (char c : key + '\\') {
        if (c == '\\' || c == '/') {
            // Empty, "." and ".." parts never lead anywhere outside the store.
            if (!part.empty() && part != "." && part != "..")
                path /= part;
            part.clear();
        } else {
            part += c;
        }
    }
    return path / name;
}

std::optional<std::string> DirectoryStore::get(const std::string &root, const std::string &key,
                                               const std::string &name) const
{
    if (!safePart(name) || !safePart(root))
        return std::nullopt;
    const fs::path path = valuePath(root, key, name);
#ifndef _WIN32
    // Only a plain file is a value: a FIFO or a device put there must not
    // stop the program, so nothing here waits.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string value(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), kMaxValueBytes),
                      '\0');
    std::size_t done = 0;
    while (done < value.size()) {
        const ssize_t n = ::read(fd, value.data() + done, value.size() - done);
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    value.resize(done);
#else
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string value(kMaxValueBytes, '\0');
    in.read(value.data(), static_cast<std::streamsize>(value.size()));
    value.resize(static_cast<std::size_t>(in.gcount()));
#endif
    return value;
}

bool DirectoryStore::set(const std::string &root, const std::string &key, const std::string &name,
                         const std::string &value)
{
#ifdef _WIN32
    (void)root, (void)key, (void)name, (void)value;
    return false;
#else
    if (!safePart(name) || !safePart(root))
        return false;
    const fs::path target = valuePath(root, key, name);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec)
        return false;

    std::string temp =
        (target.parent_path() / (std::string(kTempPrefix) + name + "-XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, value);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
#endif
}

fs::path DirectoryStore::defaultFolder(const std::string &fromCommandLine)
{
    if (!fromCommandLine.empty())
        return fromCommandLine;
    if (const char *env = std::getenv("ZENO_MAILBOX"); env && *env)
        return env;
    const char *home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".zeno" / "registry";
}

} // namespace kestrel::mailbox
