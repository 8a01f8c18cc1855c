#include "orbit/look.h"

#include <cmath>
#include <numbers>

namespace kestrel::orbit {

namespace {

using std::numbers::pi;
constexpr double deg = pi / 180;

// WGS-84.
constexpr double equatorKm = 6378.137;
constexpr double flattening = 1 / 298.257223563;
constexpr double e2 = flattening * (2 - flattening);
// The earth's turn in rad/s, as used with TEME.
constexpr double earthRate = 7.292115146706979e-5;

// From TEME to earth-fixed: the turn about the pole by GMST.
Vec3 earthFixed(const Vec3 &r, double theta)
{
    const double c = std::cos(theta), s = std::sin(theta);
    return {c * r[0] + s * r[1], -s * r[0] + c * r[1], r[2]};
}

} // namespace

double gmst(double unixSeconds)
{
    // Julian centuries of UT1 from J2000 (2000-01-01 12:00 UTC).
    const double t = (unixSeconds - 946728000.0) / (86400.0 * 36525.0);
    const double seconds = 67310.54841 + (876600.0 * 3600.0 + 8640184.812866) * t +
                           0.093104 * t * t - 6.2e-6 * t * t * t;
    double theta = std::fmod(seconds / 240.0 * deg, 2 * pi); // 240 s of time to the degree
    return theta < 0 ? theta + 2 * pi : theta;
}

Look look(const Station &station, const State &s, double unixSeconds)
{
    const double lat = station.latitudeDeg * deg, lon = station.longitudeDeg * deg;
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double sinLon = std::sin(lon), cosLon = std::cos(lon);
    const double n = equatorKm / std::sqrt(1 - e2 * sinLat * sinLat);
    const double h = station.heightM / 1000.0;
    const Vec3 site{(n + h) * cosLat * cosLon, (n + h) * cosLat * sinLon,
                    (n * (1 - e2) + h) * sinLat};

    const double theta = gmst(unixSeconds);
    const Vec3 r = earthFixed(s.positionKm, theta);
    Vec3 v = earthFixed(s.velocityKmS, theta);
    v[0] += earthRate * r[1]; // less the earth's turn under it
    v[1] -= earthRate * r[0];

    const Vec3 rho{r[0] - site[0], r[1] - site[1], r[2] - site[2]};
    const double east = -sinLon * rho[0] + cosLon * rho[1];
    const double north = -sinLat * cosLon * rho[0] - sinLat * sinLon * rho[1] + cosLat * rho[2];
    const double up = cosLat * cosLon * rho[0] + cosLat * sinLon * rho[1] + sinLat * rho[2];

    Look l;
    l.rangeKm = std::sqrt(rho[0] * rho[0] + rho[1] * rho[1] + rho[2] * rho[2]);
    l.elevationDeg = std::atan2(up, std::hypot(east, north)) / deg;
    l.azimuthDeg = std::atan2(east, north) / deg;
    if (l.azimuthDeg < 0)
        l.azimuthDeg += 360;
    l.rangeRateKmS = (rho[0] * v[0] + rho[1] * v[1] + rho[2] * v[2]) / l.rangeKm;
    return l;
}

Subpoint subpoint(const Vec3 &positionKm, double unixSeconds)
{
    const Vec3 r = earthFixed(positionKm, gmst(unixSeconds));
    const double p = std::hypot(r[0], r[1]);
    // The latitude by fixed-point steps; five leave well under a millimetre.
    double lat = std::atan2(r[2], p * (1 - e2));
    double n = equatorKm;
    for (int i = 0; i < 5; ++i) {
        const double sinLat = std::sin(lat);
        n = equatorKm / std::sqrt(1 - e2 * sinLat * sinLat);
        lat = std::atan2(r[2] + e2 * n * sinLat, p);
    }
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    Subpoint sp;
    sp.latitudeDeg = lat / deg;
    sp.longitudeDeg = std::atan2(r[1], r[0]) / deg;
    sp.heightKm = p * cosLat + (r[2] + e2 * n * sinLat) * sinLat - n;
    return sp;
}

} // namespace kestrel::orbit
