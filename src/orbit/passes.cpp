#include "orbit/passes.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kestrel::orbit {

namespace {

constexpr double timeTolerance = 0.01;        // s, for rise, set and the highest point
constexpr double invPhi = 0.6180339887498949; // the golden section
constexpr double failedElevation = -90;       // where the model gives nothing

struct Sample
{
    double t = 0;
    double e = 0; // elevation, degrees
};

class Sky
{
public:
    Sky(const Propagator &p, const Station &s) : p_(p), station_(s) {}

    double elevation(double t) const
    {
        const auto s = p_.at(t);
        return s ? look(station_, *s, t).elevationDeg : failedElevation;
    }

    // Where the elevation crosses 0 between a and b, which lie either side.
    double crossing(double a, double b) const
    {
        const bool upAtA = elevation(a) > 0;
        while (b - a > timeTolerance) {
            const double m = 0.5 * (a + b);
            if ((elevation(m) > 0) == upAtA)
                a = m;
            else
                b = m;
        }
        return 0.5 * (a + b);
    }

    // The highest point in [a, b], by golden sections: the elevation has
    // one peak there.
    Sample highest(double a, double b) const
    {
        double x1 = b - invPhi * (b - a), x2 = a + invPhi * (b - a);
        double f1 = elevation(x1), f2 = elevation(x2);
        while (b - a > timeTolerance) {
            if (f1 < f2) {
                a = x1;
                x1 = x2;
                f1 = f2;
                x2 = a + invPhi * (b - a);
                f2 = elevation(x2);
            } else {
                b = x2;
                x2 = x1;
                f2 = f1;
                x1 = b - invPhi * (b - a);
                f1 = elevation(x1);
            }
        }
        const double t = 0.5 * (a + b);
        return {t, elevation(t)};
    }

private:
    const Propagator &p_;
    Station station_;
};

} // namespace

std::vector<Pass> passes(const Propagator &p, const Station &station, double fromUnix, double hours)
{
    std::vector<Pass> found;
    const double period = p.elements().periodMinutes() * 60;
    if (!(hours > 0) || !std::isfinite(period))
        return found;
    const double end = fromUnix + hours * 3600;
    // Samples close enough that the elevation rises to at most one peak
    // between three of them: about a minute for the lowest orbits.
    const double step = std::clamp(period / 100, 10.0, 60.0);
    const Sky sky(p, station);

    // Up already: back to before its rise.
    Sample prev{fromUnix, sky.elevation(fromUnix)};
    for (double back = 0; prev.e > 0 && back < period; back += step)
        prev = {prev.t - step, sky.elevation(prev.t - step)};

    // A pass that never rose (an orbit the model cannot follow between the
    // samples) is none.
    const auto keep = [&](const Pass &pass) {
        if (pass.setUnix > fromUnix && pass.riseUnix < end && pass.maxElevationDeg > 0 &&
            pass.riseUnix <= pass.maxUnix && pass.maxUnix <= pass.setUnix)
            found.push_back(pass);
    };
    std::optional<Sample> before; // the sample before prev
    bool up = prev.e > 0;
    Pass pass{prev.t, 0, prev.t, prev.e};
    Sample best = prev; // highest sample of the pass so far
    while (up ? prev.t < end + period : !(before && before->t >= end)) {
        const Sample cur{prev.t + step, sky.elevation(prev.t + step)};
        if (!up && cur.e > 0) {
            up = true;
            pass.riseUnix = sky.crossing(prev.t, cur.t);
            best = cur;
        } else if (up && cur.e > 0) {
            if (cur.e > best.e)
                best = cur;
        } else if (up) {
            up = false;
            pass.setUnix = sky.crossing(prev.t, cur.t);
            const Sample top = sky.highest(std::max(best.t - step, pass.riseUnix),
                                           std::min(best.t + step, pass.setUnix));
            pass.maxUnix = top.t;
            pass.maxElevationDeg = top.e;
            keep(pass);
        } else if (before && prev.e > before->e && prev.e >= cur.e) {
            // Below at all three samples, but it may peak above the
            // horizon between them: a short low pass.
            const Sample top = sky.highest(before->t, cur.t);
            if (top.e > 0)
                keep({sky.crossing(before->t, top.t), sky.crossing(top.t, cur.t), top.t, top.e});
        }
        before = prev;
        prev = cur;
    }
    return found;
}

} // namespace kestrel::orbit
