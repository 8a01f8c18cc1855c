#include "aprs/position.h"

#include "core/text.h"

#include <algorithm>
#include <cmath>

namespace kestrel::position {

namespace {

// The constants as the station has always computed with them.
constexpr double kPi = 3.141593;
constexpr double kDegree = 180 / kPi;
constexpr double kEarthRadius = 6371;
constexpr double kOrbitHeight = 400; // km, the ISS's height as the elevation takes it

// Zero-padded to at least `width` digits, a minus sign in front.
QString padded(long long value, int width)
{
    const QString digits = QStringLiteral("%1").arg(std::llabs(value), width, 10, QLatin1Char('0'));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

QString coordinate(double value, int degreeDigits, QChar positive, QChar negative)
{
    const double a = std::fabs(value);
    const auto whole = static_cast<long long>(a);
    const double minutes = (a - static_cast<double>(whole)) * 60;
    const auto m = static_cast<long long>(minutes);
    const auto h = static_cast<long long>((minutes - static_cast<double>(m)) * 100);
    return padded(whole, degreeDigits) + padded(m, 2) + QLatin1Char('.') + padded(h, 2) +
           (value < 0 ? negative : positive);
}

// The arc cosine by way of the arc tangent, with its limits taken where the
// formula would divide by zero, and a cosine that rounding pushed past 1
// brought back.
double arc(double cosine)
{
    if (!std::isfinite(cosine))
        return kPi / 2;
    cosine = std::clamp(cosine, -1.0, 1.0);
    if (cosine >= 1)
        return 0;
    if (cosine <= -1)
        return kPi;
    return kPi / 2 - std::atan(cosine / std::sqrt(1 - cosine * cosine));
}

// Rounded as the number formats of the old station do: halves away from zero.
double roundTo(double v, int decimals)
{
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

} // namespace

std::optional<Text> compressed(const QString &base91)
{
    if (base91.size() < 8)
        return std::nullopt;
    const auto value = [&base91](int from) {
        double v = 0;
        for (int i = from; i < from + 4; ++i)
            v = v * 91 + (base91[i].unicode() - 33);
        return v;
    };
    const double lat = 90 - value(0) / 380926;
    const double lon = -180 + value(4) / 190463;
    return Text{coordinate(lat, 2, u'N', u'S'), coordinate(lon, 3, u'E', u'W')};
}

MicE micE(const QString &destination, const QString &information)
{
    MicE result;
    QString bits;
    bool north = false;
    int offset = 0;
    bool west = false;
    if (destination.size() >= 6) {
        QString digits;
        int previous = 0;
        for (int i = 0; i < 6; ++i) {
            const ushort c = destination[i].unicode();
            int v = previous;
            if (c >= '0' && c <= '9')
                v = c - 48;
            else if (c >= 'A' && c <= 'J')
                v = c - 65;
            else if (c >= 'P' && c <= 'Y')
                v = c - 80;
            previous = v;
            digits += QString::number(v);
            if (i == 3)
                digits += QLatin1Char('.');
            if (i < 3)
                bits += c < 'P' ? QLatin1Char('0') : QLatin1Char('1');
            else if (i == 3)
                north = c >= 'L';
            else if (i == 4)
                offset = c >= 'L' ? 100 : 0;
            else
                west = c >= 'L';
        }
        result.latitude = digits + (north ? QLatin1Char('N') : QLatin1Char('S'));
    }
    static const char *const kStatus[] = {"Emergency", "Priority",   "Special",  "Committed",
                                          "Returning", "In service", "En Route", "Off Duty"};
    const QString status =
        bits.size() == 3 ? QString::fromLatin1(kStatus[bits.toInt(nullptr, 2)]) : QString();

    // The identifier, then degrees, minutes, hundredths, speed, speed and
    // course, course: seven bytes at least.
    if (information.size() < 7)
        return result;
    const auto code = [&information](int i) {
        return static_cast<int>(information[i].unicode()) - 28;
    };
    // With the offset, 0-9 degrees travel as 190-199 and 100-109 as 180-189,
    // so that the degrees byte stays printable; minutes 0-9 travel as 60-69.
    int wholeDegrees = code(1) + offset;
    if (wholeDegrees >= 180 && wholeDegrees <= 189)
        wholeDegrees -= 80;
    else if (wholeDegrees >= 190 && wholeDegrees <= 199)
        wholeDegrees -= 190;
    int minutes = code(2);
    if (minutes >= 60)
        minutes -= 60;
    result.longitude = padded(wholeDegrees, 3) + padded(minutes, 2) + QLatin1Char('.') +
                       padded(code(3), 2) + (west ? QLatin1Char('W') : QLatin1Char('E'));
    int s = code(4);
    if (s >= 80)
        s -= 80;
    const int d = code(5);
    const int knots = 10 * s + d / 10;
    // The course's hundreds share a byte with the speed's units; some
    // encoders send them 400 up.
    int course = 100 * (d % 10) + code(6);
    if (course >= 400)
        course -= 400;
    const auto kmh = static_cast<long long>(knots * 1.855);
    result.line =
        QStringLiteral("Course:%1\u00b0 Speed:%2 km/h (%3)").arg(course).arg(kmh).arg(status);
    return result;
}

double degrees(const QString &text, int degreeDigits)
{
    const double deg = text::numericValue(text.left(degreeDigits));
    const double min = text::numericValue(text.mid(degreeDigits, 2));
    const double hundredths = text::numericValue(text.mid(degreeDigits + 3, 2));
    return deg + std::floor(min * 100 / 60) / 100 + hundredths / 60 / 100;
}

namespace {

struct Arc
{
    double p1, l1, p2, l2; // own and remote, in radians
    double cosC;           // cosine of the angle between them at the centre
};

// Both positions read as the distance has always read them.
std::optional<Arc> between(const QString &own, const Text &remote)
{
    if (own.size() < 18 || remote.latitude.size() < 8 || remote.longitude.size() < 9)
        return std::nullopt;
    double lat1 = degrees(own.left(8), 2);
    if (own[7] == u'S')
        lat1 = -lat1;
    double lon1 = degrees(own.mid(9, 9), 3);
    if (own[17] == u'W')
        lon1 = -lon1;
    double lat2 = degrees(remote.latitude, 2);
    if (remote.latitude[7].toUpper() == u'S')
        lat2 = -lat2;
    double lon2 = degrees(remote.longitude, 3);
    if (remote.longitude.back().toUpper() == u'W')
        lon2 = -lon2;

    Arc a{lat1 / kDegree, lon1 / kDegree, lat2 / kDegree, lon2 / kDegree, 0};
    a.cosC =
        std::sin(a.p1) * std::sin(a.p2) + std::cos(a.p2) * std::cos(a.p1) * std::cos(a.l2 - a.l1);
    return a;
}

} // namespace

std::optional<std::pair<double, double>> signedDegrees(const QString &own)
{
    if (own.size() < 18 || (own[7] != u'N' && own[7] != u'S') ||
        (own[17] != u'E' && own[17] != u'W'))
        return std::nullopt;
    const double latitude = degrees(own.left(8), 2);
    const double longitude = degrees(own.mid(9, 9), 3);
    if (latitude > 90 || longitude > 180)
        return std::nullopt;
    return std::pair{own[7] == u'S' ? -latitude : latitude,
                     own[17] == u'W' ? -longitude : longitude};
}

Text fromDegrees(double latitude, double longitude)
{
    // Hundredths of a minute, rounded; 59.995' carries into the degree.
    const auto field = [](double value, int degreeDigits, QChar positive, QChar negative) {
        const long long hundredths = std::llround(std::fabs(value) * 6000);
        return QStringLiteral("%1%2.%3%4")
            .arg(hundredths / 6000, degreeDigits, 10, QLatin1Char('0'))
            .arg(hundredths % 6000 / 100, 2, 10, QLatin1Char('0'))
            .arg(hundredths % 100, 2, 10, QLatin1Char('0'))
            .arg(value < 0 && hundredths > 0 ? negative : positive);
    };
    return {field(latitude, 2, u'N', u'S'), field(longitude, 3, u'E', u'W')};
}

std::optional<Bearing> distance(const QString &own, const Text &remote)
{
    const std::optional<Arc> g = between(own, remote);
    if (!g)
        return std::nullopt;
    const double p1 = g->p1, l1 = g->l1, p2 = g->p2, l2 = g->l2, cosC = g->cosC;
    Bearing b;
    if (cosC == 1)
        return b;
    const double c = arc(cosC);
    b.km = roundTo(c * kEarthRadius, 1);
    if (cosC <= -1 + 1e-12) {
        b.degrees = 0; // the antipode: every way leads there
        return b;
    }
    const double cosA = (std::sin(p2) - cosC * std::sin(p1)) / (std::sin(c) * std::cos(p1));
    const double a = arc(cosA) * kDegree;
    const double bearing = std::sin(l2 - l1) >= 0 ? a : 360 - a;
    b.degrees = static_cast<int>(roundTo(bearing, 0));
    return b;
}

std::optional<int> elevation(const QString &own, const Text &remote)
{
    const std::optional<Arc> g = between(own, remote);
    if (!g)
        return std::nullopt;
    if (g->cosC == 1)
        return 90; // straight overhead
    const double c = arc(g->cosC);
    const double q = (kEarthRadius + kOrbitHeight) / kEarthRadius;
    // q exceeds every cosine, so the angle is defined even where sin c is 0.
    const double e = (std::atan2(q - std::clamp(g->cosC, -1.0, 1.0), std::sin(c)) - c) * kDegree;
    return static_cast<int>(text::roundHalfEven(e));
}

} // namespace kestrel::position
