// Fuzz target for element sets as a download may bring them, damaged anywhere.
// Every problem must be one non-empty line of text; every set read must be
// near-Earth with its fields in range, and come from lines whose checksums
// hold; reading is the same again and with either line end. The model, from
// any set read, gives finite states or none, and its passes over a station
// rise before they peak, peak before they set, and peak between 0° and 90°.

#include "fuzzcheck.h"
#include "orbit/passes.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>

using namespace kestrel::orbit;

namespace {
auto fields(const Elements &e)
{
    return std::tie(e.name, e.catalogueNumber, e.epochUnix, e.meanMotionDot, e.meanMotionDdot,
                    e.bstar, e.inclinationDeg, e.raanDeg, e.eccentricity, e.argPerigeeDeg,
                    e.meanAnomalyDeg, e.meanMotion, e.revolution);
}

bool sameSets(const ReadResult &a, const ReadResult &b)
{
    return std::ranges::equal(a.sets, b.sets, {}, fields, fields);
}

// Lines, blanks around them aside, that start as line `n` and whose checksum holds.
std::size_t checksummed(const QByteArray &text, char n)
{
    std::size_t count = 0;
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.size() != 69 || line[0] != n || line[1] != ' ')
            continue;
        int sum = 0;
        for (const char c : line.first(68))
            sum += (c >= '0' && c <= '9') ? c - '0' : c == '-';
        count += line[68] - '0' == sum % 10;
    }
    return count;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto read = [](const QByteArray &t) {
        return readElements({t.constData(), std::size_t(t.size())});
    };
    const ReadResult r = read(input);
    for (const std::string &p : r.problems)
        if (p.empty() ||
            std::any_of(p.begin(), p.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
            fail("a problem is not one line of text", input);
    if (r.sets.size() > checksummed(input, '1') || r.sets.size() > checksummed(input, '2'))
        fail("a set read from lines that fail their checksum", input);
    for (const Elements &e : r.sets)
        if (!(e.eccentricity >= 0 && e.eccentricity < 1) ||
            !(e.inclinationDeg >= 0 && e.inclinationDeg <= 180) || !(e.meanMotion > 0) ||
            !(e.periodMinutes() <= nearEarthPeriodMinutes) || !std::isfinite(e.epochUnix) ||
            !std::isfinite(e.bstar + e.meanMotionDot + e.meanMotionDdot + e.raanDeg +
                           e.argPerigeeDeg + e.meanAnomalyDeg))
            fail("a set read with a field out of range", input);

    const ReadResult again = read(input);
    if (!sameSets(r, again) || r.problems != again.problems)
        fail("reading the text again gives something else", input);
    QByteArray lf = input;
    lf.replace("\r\n", "\n");
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    if (!sameSets(r, read(lf)) || !sameSets(r, read(crlf)))
        fail("the sets depend on the line ends", input);

    const Station station{52.5, 120.0, 40}; // where each seed passes within 2 h
    for (std::size_t i = 0; i < r.sets.size() && i < 3; ++i) {
        const Propagator p(r.sets[i]);
        const double epoch = r.sets[i].epochUnix;
        for (const double t : {epoch - 86400, epoch, epoch + 86400}) {
            const auto s = p.at(t);
            if (!s)
                continue;
            const Vec3 &at = s->positionKm, &v = s->velocityKmS;
            if (!std::isfinite(at[0] + at[1] + at[2] + v[0] + v[1] + v[2]))
                fail("the model gives a state that is not finite", input);
            const Look l = look(station, *s, t);
            const Subpoint sp = subpoint(at, t);
            if (!(std::fabs(l.elevationDeg) <= 90 && l.azimuthDeg >= 0 && l.azimuthDeg <= 360) ||
                !std::isfinite(l.rangeKm + l.rangeRateKmS + sp.heightKm) ||
                !(std::fabs(sp.latitudeDeg) <= 90 && std::fabs(sp.longitudeDeg) <= 180))
                fail("a look or subpoint out of range", input);
        }
        for (const Pass &pass : passes(p, station, epoch, 2))
            if (!(pass.riseUnix <= pass.maxUnix && pass.maxUnix <= pass.setUnix) ||
                !(pass.maxElevationDeg >= 0 && pass.maxElevationDeg <= 90))
                fail("a pass out of order or peaking out of range", input);
    }
    return 0;
}
