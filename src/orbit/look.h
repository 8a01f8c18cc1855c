#pragma once

#include "orbit/sgp4.h"

// Where a satellite stands in the station's sky, and the point of the earth
// beneath it. Positions come in TEME, as the model gives them.
namespace kestrel::orbit {

// Geodetic, on the WGS-84 ellipsoid.
struct Station
{
    double latitudeDeg = 0;  // north positive
    double longitudeDeg = 0; // east positive
    double heightM = 0;
};

struct Look
{
    double azimuthDeg = 0;   // 0 to 360, from north through east
    double elevationDeg = 0; // above the horizon
    double rangeKm = 0;
    double rangeRateKmS = 0; // positive while it moves away
};

struct Subpoint
{
    double latitudeDeg = 0;  // geodetic
    double longitudeDeg = 0; // -180 to 180
    double heightKm = 0;     // above the ellipsoid
};

// Greenwich mean sidereal time (IAU-82, as TEME is defined with), radians
// 0 to 2π, taking UT1 as UTC.
double gmst(double unixSeconds);

// The station's view of a satellite in state `s` at that time.
Look look(const Station &station, const State &s, double unixSeconds);

// The geodetic point under a TEME position at that time.
Subpoint subpoint(const Vec3 &positionKm, double unixSeconds);

} // namespace kestrel::orbit
