#pragma once

#include "orbit/elements.h"

#include <array>
#include <optional>

// The near-Earth SGP4 model (the revised form of 2006, WGS-72 constants, the
// improved mode), turning an element set into positions at any time.
namespace kestrel::orbit {

using Vec3 = std::array<double, 3>;

// In the TEME frame the element sets are fitted in.
struct State
{
    Vec3 positionKm;
    Vec3 velocityKmS;
};

// The mean motion (rad/min) the model recovers from the published one.
double recoveredMeanMotion(const Elements &e);

class Propagator
{
public:
    // Works out the model's terms once; a deep-space set or an eccentricity
    // outside [0, 1) gives a propagator that never answers.
    explicit Propagator(const Elements &e);

    // Position and velocity at a UTC time; nothing when the model fails
    // there (the orbit decayed, the eccentricity ran out of range).
    std::optional<State> at(double unixSeconds) const;

    // The set it was made from.
    const Elements &elements() const { return elements_; }

private:
    struct Terms
    {
        bool usable = false;
        bool simple = false; // perigee under 220 km: the shorter drag series
        double inclo = 0, nodeo = 0, ecco = 0, argpo = 0, mo = 0, bstar = 0;
        double noUnkozai = 0;
        double mdot = 0, argpdot = 0, nodedot = 0, nodecf = 0;
        double cc1 = 0, cc4 = 0, cc5 = 0, t2cof = 0, t3cof = 0, t4cof = 0, t5cof = 0;
        double d2 = 0, d3 = 0, d4 = 0;
        double omgcof = 0, xmcof = 0, eta = 0, delmo = 0, sinmao = 0;
        double con41 = 0, x1mth2 = 0, x7thm1 = 0, aycof = 0, xlcof = 0;
    };

    Elements elements_;
    Terms k_;
};

} // namespace kestrel::orbit
