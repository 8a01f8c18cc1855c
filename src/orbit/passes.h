#pragma once

#include "orbit/look.h"

#include <vector>

// The times a satellite is above the station's horizon.
namespace kestrel::orbit {

struct Pass
{
    double riseUnix = 0;
    double setUnix = 0;
    double maxUnix = 0; // when it stands highest
    double maxElevationDeg = 0;
};

// Every pass above 0° that sets after `fromUnix` and rises within `hours`
// of it, in order, whole: rises before `fromUnix` and sets past the end kept.
std::vector<Pass> passes(const Propagator &p, const Station &station, double fromUnix,
                         double hours);

} // namespace kestrel::orbit
