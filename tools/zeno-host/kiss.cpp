#include "kiss.h"

#include "agw.h"

namespace zenohost::kiss {

namespace {

// One 7-byte AX.25 address field: the call shifted left and padded with
// blanks, then the SSID byte with its reserved bits set (and the command bit
// for the destination of a command frame).
void putAddress(std::string &out, const std::string &call, bool command, bool last)
{
    const std::size_t dash = call.find('-');
    std::string base = call.substr(0, dash);
    base.resize(6, ' ');
    for (const char c : base)
        out += static_cast<char>(c << 1);
    const int ssid = dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1));
    out += static_cast<char>((command ? 0xe0 : 0x60) | ssid << 1 | (last ? 1 : 0));
}

} // namespace

std::string encode(int port, Command command, std::string_view payload)
{
    std::string out;
    out.reserve(payload.size() + payload.size() / 8 + 4);
    out += kFend;
    // The command byte is escaped as the payload is: port 12's data is FEND.
    std::string frame(1, static_cast<char>((port & 0x0f) << 4 | command));
    frame += payload;
    for (const char c : frame) {
        if (c == kFend)
            out.append({kFesc, kTfend});
        else if (c == kFesc)
            out.append({kFesc, kTfesc});
        else
            out += c;
    }
    out += kFend;
    return out;
}

void Deframer::clear()
{
    buffer_.clear();
    synced_ = false;
}

std::optional<std::string> Deframer::nextRaw()
{
    for (;;) {
        const std::size_t fend = buffer_.find(kFend);
        if (fend == std::string::npos) {
            // Nothing whole yet; past the longest escaped frame (command and
            // payload all escaped) it can only be dropped, and what follows
            // waits for the next FEND.
            if (synced_ && buffer_.size() > 2 * (kMaxFrameBytes + 1)) {
                ++dropped_;
                why_ = "longer than any AX.25 frame";
                synced_ = false;
            }
            if (!synced_)
                buffer_.clear();
            return std::nullopt;
        }
        std::string raw = buffer_.substr(0, fend);
        buffer_.erase(0, fend + 1);
        const bool wasSynced = synced_;
        synced_ = true;
        if (wasSynced && !raw.empty())
            return raw;
    }
}

std::optional<Frame> Deframer::next()
{
    while (const auto raw = nextRaw()) {
        std::string frame;
        frame.reserve(raw->size());
        bool broken = false;
        for (std::size_t i = 0; i < raw->size() && !broken; ++i) {
            if ((*raw)[i] != kFesc) {
                frame += (*raw)[i];
                continue;
            }
            const char after = i + 1 < raw->size() ? (*raw)[++i] : '\0';
            broken = after != kTfend && after != kTfesc;
            frame += after == kTfend ? kFend : kFesc;
        }
        // Too long is dropped whatever it is, as nextRaw() drops one it
        // cannot see the end of.
        if (broken || frame.size() - 1 > kMaxFrameBytes) {
            ++dropped_;
            why_ = broken ? "a FESC not followed by TFEND or TFESC" : "longer than any AX.25 frame";
            continue;
        }
        const auto command = static_cast<std::uint8_t>(frame[0]);
        if ((command & 0x0f) != Data) {
            ++otherCommands_;
            continue;
        }
        return Frame{command >> 4, frame.substr(1)};
    }
    return std::nullopt;
}

std::optional<std::string> unproto(int port, const std::string &from, const std::string &to,
                                   const std::string &via, const std::string &information,
                                   std::string *why)
{
    const auto path = agw::sendable(from, to, via, information, why);
    if (!path)
        return std::nullopt;
    if (port < 0 || port > kMaxPort) {
        if (why)
            *why = "KISS has ports 1 to 16 only";
        return std::nullopt;
    }
    std::string ax25;
    putAddress(ax25, to, true, false);
    putAddress(ax25, from, false, path->empty());
    for (std::size_t i = 0; i < path->size(); ++i)
        putAddress(ax25, (*path)[i], false, i + 1 == path->size());
    ax25 += '\x03';
    ax25 += '\xf0';
    return encode(port, Data, ax25 + information);
}

} // namespace zenohost::kiss
