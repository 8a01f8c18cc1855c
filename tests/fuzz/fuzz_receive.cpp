// Fuzz target for the receive path: bytes as an APRS-IS server sends them,
// cut into lines by the link's line framer, each line then handled by a
// gateway as lines from the server are (login answers, listing, messages to
// the station, gating to RF). The framer must give the same lines however
// TCP splits the bytes, the lines a plain reading gives, and never a line
// holding a line end or over the limit.
//
// The first input byte sets the size of the pieces the bytes arrive in.

#include "aprsis/lineassembler.h"
#include "fuzzcheck.h"
#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/tempstation.h"

#include <QCoreApplication>
#include <cstdint>
#include <memory>

using namespace kestrel;

namespace {
// What the framer must give: the runs between CR and LF bytes, empty ones
// and overlong ones dropped; the last run only once a line end follows it.
QList<QByteArray> plainLines(const QByteArray &bytes, qint64 &overlong)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        const qsizetype length = i - start;
        if (length > LineAssembler::kMaxLine)
            ++overlong;
        else if (length > 0)
            lines << bytes.mid(start, length);
        start = i + 1;
    }
    if (bytes.size() - start > LineAssembler::kMaxLine)
        ++overlong;
    return lines;
}

struct Station
{
    Station()
    {
        s.writeSettings({"Answer YES/NO= 1", "Type All= 1", "Type Message= 1", "Type Bulletin= 1",
                         "Type Position= 1", "Packets/min=1000"});
        gateway.start();
        gateway.setListAllPackets(true);
    }
    TempStation s;
    mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
    Clock clock;
    Gateway gateway{ProgramFolder(s.programDir()), store, clock};
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Station station;
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] + 1;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1,
                           static_cast<qsizetype>(size) - 1);

    LineAssembler whole;
    const QList<QByteArray> lines = whole.feed(input);
    LineAssembler pieces;
    QList<QByteArray> pieceLines;
    for (qsizetype at = 0; at < input.size(); at += piece)
        pieceLines += pieces.feed(input.mid(at, piece));
    if (pieceLines != lines || pieces.overlong() != whole.overlong())
        fail("the lines depend on how the bytes were split", input);

    qint64 overlong = 0;
    if (lines != plainLines(input, overlong) || whole.overlong() != overlong)
        fail("the lines differ from a plain reading of the bytes", input);

    for (const QByteArray &line : lines)
        station.gateway.receivePath().handle(line);
    // Without an event loop nothing paces the commands to the host.
    station.gateway.mailbox().flush();
    return 0;
}
