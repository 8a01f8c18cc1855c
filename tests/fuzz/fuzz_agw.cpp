// Fuzz target for what a TNC sends zeno-host: AGWPE frames and a KISS
// stream cut anywhere, raw AX.25 in them, and the UI frames turned into
// monitor texts. Every text stored must read back in the gateway as exactly
// the frame heard; every frame sent must read back as what was asked; KISS
// frames must not depend on where the stream was cut.

#include "core/text.h"
#include "fuzzcheck.h"
#include "host/monitortext.h"
#include "zeno-host/agw.h"
#include "zeno-host/kiss.h"

#include <algorithm>
#include <cstdint>

using namespace kestrel;
namespace agw = zenohost::agw;
namespace kiss = zenohost::kiss;

namespace {
std::string bare(std::string call)
{
    if (!call.empty() && call.back() == '*')
        call.pop_back();
    return call;
}

void checkHeard(int port, std::string_view ax25, const QByteArray &input)
{
    const auto ui = agw::decodeUi(ax25);
    if (!ui || port >= agw::kMaxPort)
        return;
    if (ui->information.size() > agw::kMaxReceivedInfo || ui->via.size() > agw::kMaxDigipeaters)
        fail("an oversized frame was taken", input);
    if (!agw::validCall(ui->source) || !agw::validCall(ui->destination))
        fail("a malformed address was taken", input);
    std::string via;
    for (const std::string &call : ui->via) {
        if (!agw::validCall(bare(call)))
            fail("a malformed digipeater was taken", input);
        via += ',' + call;
    }
    const std::string text = agw::monitorText(port + 1, *ui, 23, 59, 0);
    if (text.find(" Len=" + std::to_string(ui->information.size()) + " >") == std::string::npos)
        fail("Len= is not the information's length", input);

    const auto m = MonitorText::parse(text::fromBytes(text));
    if (!m)
        fail("the gateway cannot read a monitor text", input);
    // Every byte heard, up to the line's end.
    QString information = text::fromBytes(ui->information);
    const qsizetype end = std::min<qsizetype>(
        information.indexOf(u'\r') < 0 ? information.size() : information.indexOf(u'\r'),
        information.indexOf(u'\n') < 0 ? information.size() : information.indexOf(u'\n'));
    information.truncate(end);
    if (m->port != port + 1 || m->source != text::fromBytes(ui->source) ||
        m->destination != text::fromBytes(ui->destination) || m->via != text::fromBytes(via) ||
        m->information != information)
        fail("the gateway reads another frame than was heard", input);
}

void checkSent(const agw::Frame &frame, const QByteArray &input)
{
    // The frame's own fields as a transmit request: path up to a line feed,
    // information after it.
    const std::size_t lf = frame.data.find('\n');
    const std::string via = frame.data.substr(0, lf);
    const std::string info = lf == std::string::npos ? "" : frame.data.substr(lf + 1);
    const auto bytes = agw::unproto(frame.port, frame.callFrom, frame.callTo, via, info);
    if (!bytes)
        return;
    agw::Reader reader;
    reader.append(bytes->data(), bytes->size());
    const auto v = reader.next();
    const auto path = agw::parsePath(via);
    if (!v || reader.next() || !path || v->kind != 'V' || v->pid != 0xf0 || v->port != frame.port ||
        v->callFrom != frame.callFrom || v->callTo != frame.callTo ||
        v->data.size() != 1 + 10 * path->size() + info.size() ||
        static_cast<std::size_t>(v->data[0]) != path->size() ||
        v->data.compare(v->data.size() - info.size(), info.size(), info) != 0)
        fail("a transmit frame reads back otherwise", input);

    // The same request over KISS reads back as the same UI frame.
    const auto k = kiss::unproto(frame.port % 16, frame.callFrom, frame.callTo, via, info);
    kiss::Deframer deframer;
    deframer.append(*k);
    const auto d = deframer.next();
    const auto ui = d ? agw::decodeUi(d->ax25) : std::nullopt;
    if (!ui || ui->source != frame.callFrom || ui->destination != frame.callTo ||
        ui->via != *path || ui->pid != 0xf0 || ui->information != info || deframer.next())
        fail("a KISS transmit frame reads back otherwise", input);
}

// The KISS frames of a stream, fed in pieces of `piece` bytes.
std::vector<kiss::Frame> kissFrames(std::string_view stream, std::size_t piece, std::size_t &other,
                                    std::size_t &dropped)
{
    kiss::Deframer deframer;
    std::vector<kiss::Frame> frames;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        deframer.append(stream.substr(at, piece));
        while (auto f = deframer.next())
            frames.push_back(std::move(*f));
    }
    other = deframer.otherCommands();
    dropped = deframer.dropped();
    return frames;
}

void checkKiss(const QByteArray &input)
{
    const std::string_view stream(input.constData(), static_cast<std::size_t>(input.size()));
    std::size_t other = 0, dropped = 0, other1 = 0, dropped1 = 0;
    const auto whole = kissFrames(stream, stream.size() + 1, other, dropped);
    const auto bytes = kissFrames(stream, 1, other1, dropped1);
    if (whole.size() != bytes.size() || other != other1 || dropped != dropped1)
        fail("KISS frames depend on where the stream was cut", input);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (whole[i].port != bytes[i].port || whole[i].ax25 != bytes[i].ax25)
            fail("KISS frames depend on where the stream was cut", input);
        if (whole[i].ax25.size() > kiss::kMaxFrameBytes || whole[i].port > kiss::kMaxPort)
            fail("a KISS frame longer than the limit", input);
        // Sent again, it reads back the same.
        kiss::Deframer again;
        again.append(kiss::encode(whole[i].port, kiss::Data, whole[i].ax25));
        const auto back = again.next();
        if (!back || back->ax25 != whole[i].ax25 || back->port != whole[i].port)
            fail("a KISS frame encoded again reads back otherwise", input);
        checkHeard(whole[i].port, whole[i].ax25, input);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // The stream arrives in two pieces, cut where the first byte says.
    const std::size_t cut = size ? std::min<std::size_t>(data[0], size) : 0;
    agw::Reader reader;
    reader.append(input.constData(), cut);
    int frames = 0;
    for (bool second = false;; second = true) {
        while (const auto frame = reader.next()) {
            if (frame->data.size() > agw::kMaxDataBytes)
                fail("a frame longer than the limit", input);
            if (!frame->data.empty())
                checkHeard(frame->port, std::string_view(frame->data).substr(1), input);
            checkSent(*frame, input);
            ++frames;
        }
        if (second)
            break;
        reader.append(input.constData() + cut, size - cut);
    }
    if (reader.lost() && reader.next())
        fail("a frame read after the stream was lost", input);
    if (frames > 0 && size < agw::kHeaderBytes * static_cast<std::size_t>(frames))
        fail("more frames than the bytes hold", input);
    checkKiss(input);
    // Raw AX.25 on its own too.
    if (const auto ui = agw::decodeUi(std::string(input.constData(), size)))
        if (ui->source.empty() || ui->destination.empty())
            fail("a frame without its addresses", input);
    return 0;
}
