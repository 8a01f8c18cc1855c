#pragma once

#include <string>
#include <string_view>
#include <vector>

// Two-line element sets as the tracking networks publish them, read and
// checked before anything is computed from them.
namespace kestrel::orbit {

struct Elements
{
    std::string name;        // the name line, or the catalogue number without one
    int catalogueNumber = 0; // "A0001" style numbers read as 100001
    double epochUnix = 0;    // UTC seconds

    double meanMotionDot = 0;  // rev/day², half the first derivative as published
    double meanMotionDdot = 0; // rev/day³, a sixth of the second derivative
    double bstar = 0;          // drag term, 1/earth radii
    double inclinationDeg = 0;
    double raanDeg = 0; // right ascension of the ascending node
    double eccentricity = 0;
    double argPerigeeDeg = 0;
    double meanAnomalyDeg = 0;
    double meanMotion = 0; // rev/day (Kozai's mean motion, as published)
    int revolution = 0;

    // One revolution in minutes, from the mean motion the model recovers
    // (what it judges near-Earth by).
    double periodMinutes() const;
    // Days since the epoch; negative before it.
    double ageDays(double nowUnix) const;
};

struct ReadResult
{
    std::vector<Elements> sets;
    std::vector<std::string> problems; // one line per set (or stray lines) skipped
};

// Every set in the text: a name line then lines 1 and 2, or lines 1 and 2
// alone (named by the catalogue number). A set that fails a check is
// skipped with one problem line; the others are still read.
ReadResult readElements(std::string_view text);

// Sets whose period is longer need the deep-space model, which is not here.
inline constexpr double nearEarthPeriodMinutes = 225.0;
// A circular orbit this fast lies a few km above the ground: faster is none.
inline constexpr double maxMeanMotion = 17.0;

} // namespace kestrel::orbit
