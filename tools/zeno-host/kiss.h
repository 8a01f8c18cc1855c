#pragma once

// KISS as zeno-host speaks it to a TNC: frames between FEND bytes, FEND and
// FESC inside a frame escaped, a command byte first (the TNC's port in its
// high nibble, the command in its low one). Received data frames are raw
// AX.25 for agw::decodeUi; transmit requests become UI frames. No devices or
// sockets here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zenohost::kiss {

inline constexpr char kFend = '\xc0';
inline constexpr char kFesc = '\xdb';
inline constexpr char kTfend = '\xdc';
inline constexpr char kTfesc = '\xdd';

// The low nibble of the command byte.
enum Command : std::uint8_t
{
    Data = 0,
    TxDelay = 1,
    Persistence = 2,
    SlotTime = 3,
};

// KISS ports are 0 to 15; the mailbox's port n is KISS port n-1.
inline constexpr int kMaxPort = 15;
// No AX.25 frame a TNC passes on is longer (8 digipeaters and 512 bytes of
// information with room to spare); a longer one is dropped whole.
inline constexpr std::size_t kMaxFrameBytes = 1024;

// One whole frame: FEND, the command byte, the payload escaped, FEND.
std::string encode(int port, Command command, std::string_view payload);

// A received data frame.
struct Frame
{
    int port = 0; // the TNC's, 0 for its first
    std::string ax25;
};

// Frames off a byte stream cut anywhere. Bytes before the first FEND (a TNC
// plugged in mid-frame) are skipped, empty frames between FENDs are nothing,
// and a frame with a broken escape or longer than kMaxFrameBytes is dropped.
class Deframer
{
public:
    void append(std::string_view bytes) { buffer_.append(bytes); }
    // The next data frame; frames of other commands are counted and skipped,
    // frames dropped are counted and `why` says why the last one was.
    std::optional<Frame> next();
    std::size_t otherCommands() const { return otherCommands_; }
    std::size_t dropped() const { return dropped_; }
    const std::string &why() const { return why_; }
    // Forgets what is buffered, for a new link: it starts outside a frame.
    void clear();

private:
    std::optional<std::string> nextRaw();

    std::string buffer_;
    bool synced_ = false;
    std::size_t otherCommands_ = 0;
    std::size_t dropped_ = 0;
    std::string why_;
};

// A UI frame (pid F0) from `from` to `to` over `via` as a KISS data frame for
// `port`; nothing, with `why`, when it cannot be sent.
std::optional<std::string> unproto(int port, const std::string &from, const std::string &to,
                                   const std::string &via, const std::string &information,
                                   std::string *why = nullptr);

} // namespace zenohost::kiss
