// Fuzz target for what a TNC engine sends zeno-host: AGWPE frames cut
// anywhere, raw AX.25 in them, and the UI frames turned into monitor texts.
// Every text stored must read back in the gateway as exactly the frame
// heard; every frame sent must read back as what was asked.

#include "core/text.h"
#include "fuzzcheck.h"
#include "host/monitortext.h"
#include "zeno-host/agw.h"

#include <algorithm>
#include <cstdint>

using namespace kestrel;
namespace agw = zenohost::agw;

namespace {
std::string bare(std::string call)
{
    if (!call.empty() && call.back() == '*')
        call.pop_back();
    return call;
}

void checkHeard(const agw::Frame &frame, const QByteArray &input)
{
    const auto ui = agw::decodeRaw(frame.data);
    if (!ui || frame.port >= agw::kMaxPort)
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
    const std::string text = agw::monitorText(frame.port + 1, *ui, frame.pid % 24, 59, 0);
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
    if (m->port != frame.port + 1 || m->source != text::fromBytes(ui->source) ||
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
            checkHeard(*frame, input);
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
    // Raw AX.25 on its own too.
    if (const auto ui = agw::decodeUi(std::string(input.constData(), size)))
        if (ui->source.empty() || ui->destination.empty())
            fail("a frame without its addresses", input);
    return 0;
}
