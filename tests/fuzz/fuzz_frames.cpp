// Fuzz target for what RF brings: the host's monitor text, the packet
// decoder and the position decoders, on arbitrary bytes. Nothing may crash,
// read out of bounds, or put a line end or a non-number into what goes on.

#include "aprs/decoder.h"
#include "core/text.h"
#include "fuzzcheck.h"
#include "host/monitortext.h"

#include <cmath>
#include <cstdint>

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString s = text::fromBytes(input);

    if (const auto m = MonitorText::parse(s)) {
        if (m->information.contains(u'\r') || m->information.contains(u'\n'))
            fail("the information field holds a line end", input);
        if (!m->via.isEmpty() && !m->via.startsWith(u','))
            fail("a path without its leading comma", input);
    }

    const decoder::Result r = decoder::decode(s, s.left(8), size % 2 == 1);
    if (r.accepted()) {
        if (r.position.latitude.size() < 8 || r.position.longitude.size() < 9)
            fail("a position too short to measure was accepted", input);
        const auto b = position::distance(QStringLiteral("4903.50N/07201.75W"), r.position);
        if (!b || !std::isfinite(b->km) || b->km < 0 || b->km > 20015.1 ||
            (b->degrees && (*b->degrees < 0 || *b->degrees > 360)))
            fail("a distance or bearing out of range", input);
    }
    // Any 18 bytes as the station's own position.
    if (size >= 26) {
        const auto b = position::distance(s.left(18), {s.mid(18, 8), s.mid(17, 9)});
        if (b && !std::isfinite(b->km))
            fail("a distance that is no number", input);
    }
    return 0;
}
