#pragma once

#ifdef __linux__

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace zenohost {

// The byte stream to a TNC: a TCP connection (a TNC engine's AGWPE or KISS
// port) or a serial line (a hardware TNC), opened without blocking. After a
// failure, or when the device goes away, it tries again every kRetryMs.
class StreamLink
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRetryMs = 3000;

    // Where the TNC is: `host` and `port`, or the serial `device` at `baud`.
    struct Target
    {
        std::string host, port;
        std::string device;
        int baud = 9600;
        // "127.0.0.1:8001" or "/dev/ttyUSB0".
        std::string where() const { return device.empty() ? host + ":" + port : device; }
    };

    struct Handlers
    {
        std::function<void()> opened; // connected, or the device opened and set up
        std::function<void(std::string_view)> received;
        std::function<void()> closed; // an opened link is gone
    };

    StreamLink(Target target, const char *what, Handlers handlers);
    ~StreamLink() { close(); }
    StreamLink(const StreamLink &) = delete;
    StreamLink &operator=(const StreamLink &) = delete;

    // The serial speeds a line can be set to.
    static bool usableBaud(int baud);

    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // What poll() should wait for on fd().
    short events() const;
    Clock::time_point retryAt() const { return retryAt_; }
    const Target &target() const { return target_; }
    // "engine" or "TNC", as the operator is told.
    const char *what() const { return what_; }

    void connectWhenDue(Clock::time_point now);
    // After poll() gave `events` on fd().
    void service(short events);
    void send(std::string_view bytes);
    // Gives the link up (said once per outage) and tries again later.
    void fail(const std::string &why);
    void close();

private:
    void connectNow();
    void openDevice();
    void flush();
    void opened();

    const Target target_;
    const char *const what_; // "engine" or "TNC", for the operator
    Handlers handlers_;
    int fd_ = -1;
    bool connecting_ = false;
    bool opened_ = false;
    bool downReported_ = false;
    Clock::time_point retryAt_{};
    std::string out_;
};

} // namespace zenohost

#endif
