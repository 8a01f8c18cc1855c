#include "agw.h"

#include <cstdio>

namespace zenohost::agw {

namespace {

void putCall(std::string &out, const std::string &call)
{
    std::string field = call.substr(0, 9);
    field.resize(10, '\0');
    out += field;
}

std::string takeCall(std::string_view field)
{
    return std::string(field.substr(0, field.find('\0')));
}

std::nullopt_t refuse(std::string *why, const char *what)
{
    if (why)
        *why = what;
    return std::nullopt;
}

// One 7-byte address field: six shifted characters, blanks after the call,
// then the SSID byte.
bool decodeAddress(std::string_view field, std::string &call, bool &repeated)
{
    call.clear();
    bool ended = false;
    for (int i = 0; i < 6; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte & 1)
            return false;
        const char c = static_cast<char>(byte >> 1);
        if (c == ' ') {
            ended = true;
        } else if (!ended && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            call += c;
        } else {
            return false;
        }
    }
    if (call.empty())
        return false;
    const auto ssidByte = static_cast<unsigned char>(field[6]);
    const int ssid = (ssidByte >> 1) & 0x0f;
    if (ssid)
        call += '-' + std::to_string(ssid);
    repeated = ssidByte & 0x80;
    return true;
}

bool isUpperAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string encode(const Frame &frame)
{
    std::string out;
    out.reserve(kHeaderBytes + frame.data.size());
    out += static_cast<char>(frame.port);
    out.append(3, '\0');
    out += frame.kind;
    out += '\0';
    out += static_cast<char>(frame.pid);
    out += '\0';
    putCall(out, frame.callFrom);
    putCall(out, frame.callTo);
    const auto length = static_cast<std::uint32_t>(frame.data.size());
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((length >> shift) & 0xff);
    out.append(4, '\0');
    return out + frame.data;
}

std::optional<Frame> Reader::next()
{
    if (lost_ || buffer_.size() < kHeaderBytes)
        return std::nullopt;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = length << 8 | static_cast<unsigned char>(buffer_[28 + i]);
    if (length > kMaxDataBytes) {
        lost_ = true;
        return std::nullopt;
    }
    if (buffer_.size() < kHeaderBytes + length)
        return std::nullopt;
    Frame f;
    const std::string_view b(buffer_);
    f.port = static_cast<std::uint8_t>(b[0]);
    f.kind = b[4];
    f.pid = static_cast<std::uint8_t>(b[6]);
    f.callFrom = takeCall(b.substr(8, 10));
    f.callTo = takeCall(b.substr(18, 10));
    f.data = b.substr(kHeaderBytes, length);
    buffer_.erase(0, kHeaderBytes + length);
    return f;
}

std::optional<UiFrame> decodeUi(std::string_view ax25, std::string *why)
{
    std::vector<std::string> calls;
    std::vector<bool> repeated;
    std::size_t at = 0;
    for (;;) {
        if (ax25.size() < at + 7)
            return refuse(why, "truncated address field");
        std::string call;
        bool h = false;
        if (!decodeAddress(ax25.substr(at, 7), call, h))
            return refuse(why, "malformed address");
        calls.push_back(call);
        repeated.push_back(h);
        const bool last = ax25[at + 6] & 1;
        at += 7;
        if (last)
            break;
        if (calls.size() == 2 + kMaxDigipeaters)
            return refuse(why, "more than 8 digipeaters");
    }
    if (calls.size() < 2)
        return refuse(why, "no source address");
    if (ax25.size() < at + 2)
        return refuse(why, "no control field or pid");
    // UI, with or without the poll/final bit.
    if ((static_cast<unsigned char>(ax25[at]) & ~0x10) != 0x03)
        return refuse(why, "not a UI frame");
    if (ax25.size() - at - 2 > kMaxReceivedInfo)
        return refuse(why, "information field too long");
    UiFrame f;
    f.destination = calls[0];
    f.source = calls[1];
    for (std::size_t i = 2; i < calls.size(); ++i)
        f.via.push_back(calls[i] + (repeated[i] ? "*" : ""));
    f.pid = static_cast<std::uint8_t>(ax25[at + 1]);
    f.information = ax25.substr(at + 2);
    return f;
}

std::string monitorText(int port, const UiFrame &frame, int hour, int minute, int second)
{
    std::string text =
        ' ' + std::to_string(port) + ":Fm " + frame.source + " To " + frame.destination;
    if (!frame.via.empty()) {
        text += " Via ";
        for (std::size_t i = 0; i < frame.via.size(); ++i)
            text += (i ? "," : "") + frame.via[i];
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, " <UI pid=%02X Len=%zu >[%02d:%02d:%02d]\r", frame.pid,
                  frame.information.size(), hour, minute, second);
    return text + tail + frame.information;
}

bool validCall(std::string_view call)
{
    const std::size_t dash = call.find('-');
    const std::string_view base = call.substr(0, dash);
    if (base.empty() || base.size() > 6)
        return false;
    for (const char c : base)
        if (!isUpperAlnum(c))
            return false;
    if (dash == std::string_view::npos)
        return true;
    const std::string_view ssid = call.substr(dash + 1);
    if (ssid.empty() || ssid.size() > 2 || ssid[0] == '0')
        return false;
    int n = 0;
    for (const char c : ssid) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    return n <= 15;
}

std::optional<std::vector<std::string>> parsePath(std::string_view via)
{
    std::vector<std::string> calls;
    std::string call;
    for (std::size_t i = 0; i <= via.size(); ++i) {
        if (i < via.size() && via[i] != ',' && via[i] != ' ') {
            call += via[i];
            continue;
        }
        if (call.empty())
            continue;
        if (!validCall(call) || calls.size() == kMaxDigipeaters)
            return std::nullopt;
        calls.push_back(call);
        call.clear();
    }
    return calls;
}

namespace {
std::optional<int> number(std::string_view text)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}
} // namespace

std::optional<int> receivePort(std::string_view rxp)
{
    const auto n = number(rxp);
    if (!n || *n < 1 || *n > kMaxPort)
        return std::nullopt;
    return *n == 7 ? -1 : *n - 1;
}

std::optional<int> transmitPort(std::string_view txp)
{
    const auto n = number(txp);
    if (!n || *n < 1 || *n > kMaxPort)
        return std::nullopt;
    return *n == 7 ? 0 : *n - 1;
}

std::string transmitInformation(std::string text)
{
    if (text.rfind(":}", 0) == 0)
        text.erase(0, 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

std::optional<std::vector<std::string>> sendable(const std::string &from, const std::string &to,
                                                 const std::string &via,
                                                 const std::string &information, std::string *why)
{
    if (!validCall(from))
        return refuse(why, "MyCall is no AX.25 call sign");
    if (!validCall(to))
        return refuse(why, "the destination is no AX.25 call sign");
    auto path = parsePath(via);
    if (!path)
        return refuse(why, "the path is not up to 8 AX.25 call signs");
    if (information.empty())
        return refuse(why, "nothing to send");
    if (information.size() > kMaxSentInfo)
        return refuse(why, "more than 256 bytes to send");
    // The engine takes the information as a C string.
    if (information.find('\0') != std::string::npos)
        return refuse(why, "a NUL byte in the text");
    return path;
}

std::optional<std::string> unproto(int port, const std::string &from, const std::string &to,
                                   const std::string &via, const std::string &information,
                                   std::string *why)
{
    const auto path = sendable(from, to, via, information, why);
    if (!path)
        return std::nullopt;
    Frame f{static_cast<std::uint8_t>(port), 'V', 0xf0, from, to, {}};
    f.data += static_cast<char>(path->size());
    for (const std::string &call : *path)
        putCall(f.data, call);
    f.data += information;
    return encode(f);
}

} // namespace zenohost::agw
