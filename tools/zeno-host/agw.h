#pragma once

// The AGWPE TCP protocol as zeno-host speaks it to a TNC engine: frames in
// and out, received AX.25 UI frames turned into the host's monitor text, and
// the gateway's transmit commands turned into frames. No sockets here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zenohost::agw {

inline constexpr std::size_t kHeaderBytes = 36;
// No engine sends more after one header; past this the stream is lost.
inline constexpr std::size_t kMaxDataBytes = 8192;
// An information field longer than this could never go to APRS-IS (a line
// there is at most 512 bytes), so such a frame is not stored.
inline constexpr std::size_t kMaxReceivedInfo = 512;
// What AX.25 lets a UI frame carry (N1).
inline constexpr std::size_t kMaxSentInfo = 256;
inline constexpr std::size_t kMaxDigipeaters = 8;
// The monitor text has two digits for the port.
inline constexpr int kMaxPort = 99;

struct Frame
{
    std::uint8_t port = 0; // the engine's, 0 for its first
    char kind = 0;
    std::uint8_t pid = 0;
    std::string callFrom; // up to the first NUL of the 10-byte field
    std::string callTo;
    std::string data;
};

// Header and data, the length filled in. Calls longer than 9 are cut.
std::string encode(const Frame &frame);

// Whole frames off the front of what the engine sent.
class Reader
{
public:
    void append(const char *bytes, std::size_t size) { buffer_.append(bytes, size); }
    // The next whole frame, or nothing while it is incomplete. After a header
    // announcing more than kMaxDataBytes nothing more can be read: lost().
    std::optional<Frame> next();
    bool lost() const { return lost_; }
    void clear()
    {
        buffer_.clear();
        lost_ = false;
    }

private:
    std::string buffer_;
    bool lost_ = false;
};

// A received UI frame.
struct UiFrame
{
    std::string source;
    std::string destination;
    std::vector<std::string> via; // "N1DIG*" when its has-been-repeated bit is set
    std::uint8_t pid = 0;
    std::string information;
};

// An AX.25 frame without its FCS. Anything but a well-formed UI frame with
// at most kMaxReceivedInfo bytes of information gives nothing, and `why`
// (when given) says what was wrong.
std::optional<UiFrame> decodeUi(std::string_view ax25, std::string *why = nullptr);

// " 1:Fm N1ABC-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=24 >[14:02:11]\r" and the
// information; `port` is the mailbox's, 1 (the engine's first) to kMaxPort.
std::string monitorText(int port, const UiFrame &frame, int hour, int minute, int second);

// "N1ABC-9": one to six capital letters and digits, then -1 to -15 or nothing.
bool validCall(std::string_view call);

// "WIDE1-1,WIDE2-1" (commas or blanks between) as digipeater calls; nothing
// when one is no call or there are more than kMaxDigipeaters.
std::optional<std::vector<std::string>> parsePath(std::string_view via);

// The gateway's port numbers, 1 to kMaxPort. Receive: 7 is every port (-1),
// n the engine's n-1. Transmit: n is the engine's n-1, and 7 its first.
// Nothing for anything else.
std::optional<int> receivePort(std::string_view rxp);
std::optional<int> transmitPort(std::string_view txp);

// A TXDATA text as it goes on the air: a third-party text (":}...") from its
// "}", without trailing CR and LF.
std::string transmitInformation(std::string text);

// The digipeater calls of a UI frame from `from` to `to` over `via`, when
// the calls, the path and the information can all be sent; nothing, with
// `why`, when not. The NUL byte is refused for every bridge alike.
std::optional<std::vector<std::string>> sendable(const std::string &from, const std::string &to,
                                                 const std::string &via,
                                                 const std::string &information,
                                                 std::string *why = nullptr);

// A 'V' frame: UI from `from` to `to` over `via`, pid F0. Nothing, with
// `why`, when a call, the path or the information cannot be sent.
std::optional<std::string> unproto(int port, const std::string &from, const std::string &to,
                                   const std::string &via, const std::string &information,
                                   std::string *why = nullptr);

} // namespace zenohost::agw
