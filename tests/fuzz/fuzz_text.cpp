// Fuzz target for the shared text helpers on arbitrary bytes: line
// splitting, lenient numbers, rounding, time stamps and log escaping.

#include "core/text.h"
#include "fuzzcheck.h"

#include <cmath>
#include <cstdint>

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString s = text::fromBytes(input);

    // Lines never hold a line end, and no byte is lost: joined with LF they
    // give the input with every line end made LF.
    const QStringList lines = text::splitLines(input);
    QByteArray expected = input;
    expected.replace("\r\n", "\n").replace('\r', '\n');
    if (expected.endsWith('\n'))
        expected.chop(1);
    QByteArray joined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(u'\r') || lines[i].contains(u'\n'))
            fail("splitLines gave a line holding CR or LF", input);
        joined += (i > 0 ? "\n" : "") + text::toBytes(lines[i]);
    }
    if (joined != expected && !(lines.isEmpty() && expected.isEmpty()))
        fail("splitLines lost or changed bytes", input);

    const double v = text::numericValue(s);
    if (!std::isfinite(v))
        fail("numericValue gave a value that is not finite", input);
    const long long r = text::roundHalfEven(v);
    if (std::fabs(v) < 1e15 && std::fabs(static_cast<double>(r) - v) > 0.5)
        fail("roundHalfEven is not the nearest whole number", input);

    // A stamp that reads back is the same stamp when written again.
    const QDateTime t = text::parseStamp(s);
    if (t.isValid() && text::stamp(t) != s && t.time() == QTime::fromString(s.mid(9), "HH:mm:ss"))
        fail("parseStamp and stamp disagree", input);

    // One log line stays one line.
    const QString safe = text::printable(s);
    for (const QChar c : safe)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            fail("printable left a control character", input);
    return 0;
}
