#pragma once

#include <QString>
#include <optional>
#include <utility>

// Position encodings of APRS turned into the one text form the gateway uses
// (latitude "ddmm.hhN", longitude "dddmm.hhW"), and the distance and bearing
// of such a position from the station. Values in, values out.
namespace kestrel::position {

struct Text
{
    QString latitude;  // ddmm.hhN
    QString longitude; // dddmm.hhW
};

// A compressed position: the eight base-91 characters after the symbol
// table character. Degrees, minutes and hundredths are truncated, never
// rounded. Nothing when fewer than eight characters are given.
std::optional<Text> compressed(const QString &base91);

struct MicE
{
    QString latitude;  // empty when the destination is too short
    QString longitude; // empty when the information field is too short
    QString line;      // "Course:251° Speed:37 km/h (En Route)"; empty with the longitude
};

// A Mic-E position from the 6-character destination field and the
// information field (from its data type identifier on).
MicE micE(const QString &destination, const QString &information);

struct Bearing
{
    double km = 0;              // to one decimal
    std::optional<int> degrees; // whole degrees, 0 to 360; none when the two places are one
};

// Great circle on a sphere of 6371 km, from the station's own position (the
// 18 characters "ddmm.hhN/dddmm.hhW" of its beacon text) to another in the
// text form. Nothing when either position cannot be read.
std::optional<Bearing> distance(const QString &own, const Text &remote);

// Elevation in whole degrees above the station's horizon of a satellite
// 400 km above the given point; 90 when the point is the station's own.
// Nothing when either position cannot be read.
std::optional<int> elevation(const QString &own, const Text &remote);

// The station's own position (the 18 characters of its beacon text) as
// signed decimal degrees, north and east positive; nothing when it cannot
// be read.
std::optional<std::pair<double, double>> signedDegrees(const QString &own);

// Signed decimal degrees in the text form, minutes to two decimals.
Text fromDegrees(double latitude, double longitude);

// A latitude or longitude as signed decimal degrees, as the distance reads
// it: minutes to two decimals of a degree, truncated, hundredths added.
double degrees(const QString &text, int degreeDigits);

} // namespace kestrel::position
