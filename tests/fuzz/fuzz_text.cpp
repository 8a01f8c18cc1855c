// Fuzz target for the shared text helpers: line splitting, lenient number
// reading, rounding and time stamps, all on arbitrary bytes.
//
// Each helper is checked against an independent reading of what it promises
// (text.h), not against a copy of its own code.

#include "core/text.h"

#include <QByteArray>
#include <QDate>
#include <QTime>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kestrel;

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &input, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz_text: %s\n  input: %s\n", what,
                 input.toPercentEncoding().constData());
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toLatin1().toPercentEncoding(" :=,").constData());
    std::abort();
}

// --- splitLines --------------------------------------------------------------

void checkSplitLines(const QByteArray &input)
{
    const QStringList lines = text::splitLines(input);
    for (const QString &line : lines)
        if (line.contains(u'\r') || line.contains(u'\n'))
            fail("splitLines gave a line holding CR or LF", input);

    // Every line end (CR LF, CR or LF) becomes LF; one final line end makes
    // no extra line.
    QByteArray expected = input;
    expected.replace("\r\n", "\n").replace('\r', '\n');
    qsizetype count = expected.count('\n');
    if (expected.endsWith('\n'))
        expected.chop(1);
    else if (!expected.isEmpty())
        ++count;
    if (lines.size() != count)
        fail("splitLines gave the wrong number of lines", input,
             QStringLiteral("got %1, expected %2").arg(lines.size()).arg(count));

    QByteArray joined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += text::toBytes(lines[i]);
    }
    if (joined != expected)
        fail("splitLines lost or changed bytes", input);
    // The plain case, said directly: LF line ends only, none at the end.
    if (!input.contains('\r') && !input.endsWith('\n') && joined != input)
        fail("splitLines joined with LF does not give the input back", input);
}

// --- numericValue ------------------------------------------------------------

// The number text.h describes: blanks, an optional sign, digits with at most
// one decimal point, read by the C library; 0 without a digit or when out of
// range.
double referenceNumber(const QByteArray &s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::string number;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        number += s[i++];
    bool point = false;
    bool digits = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += c;
    }
    if (!digits)
        return 0.0;
    const double v = std::strtod(number.c_str(), nullptr); // "C" locale: no setlocale here
    return std::isfinite(v) ? v : 0.0;
}

void checkRounding(double v, const QByteArray &input);

void checkNumericValue(const QByteArray &input)
{
    const double v = text::numericValue(text::fromBytes(input));
    if (!std::isfinite(v))
        fail("numericValue gave a value that is not finite", input);
    const double expected = referenceNumber(input);
    // Below the normal range the two readers may differ on a last subnormal
    // bit or on giving up to 0; neither matters to anyone.
    const bool bothTiny = std::fabs(v) < DBL_MIN && std::fabs(expected) < DBL_MIN;
    if (v != expected && !bothTiny)
        fail("numericValue differs from the number the text holds", input,
             QStringLiteral("got %1, expected %2").arg(v, 0, 'g', 17).arg(expected, 0, 'g', 17));
    checkRounding(v, input);
}

// --- roundHalfEven -----------------------------------------------------------

constexpr double kTwo52 = 4503599627370496.0; // from here on every double is whole

void checkRounding(double v, const QByteArray &input)
{
    const long long r = text::roundHalfEven(v);
    const QString detail = QStringLiteral("v=%1 r=%2").arg(v, 0, 'g', 17).arg(r);
    if (!std::isfinite(v)) {
        if (r != 0)
            fail("roundHalfEven of a value that is not finite is not 0", input, detail);
        return;
    }
    if (std::fabs(v) < kTwo52) {
        const double d = v - static_cast<double>(r); // exact in this range
        if (std::fabs(d) > 0.5)
            fail("roundHalfEven is not the nearest whole number", input, detail);
        if (std::fabs(d) == 0.5 && r % 2 != 0)
            fail("roundHalfEven took a half to the odd neighbour", input, detail);
    } else if (std::fabs(v) < 9.0e18) {
        if (static_cast<double>(r) != v)
            fail("roundHalfEven changed a whole number", input, detail);
    } else {
        // Saturates near the end of the range, keeping the sign.
        if ((v > 0) != (r > 0) || std::fabs(static_cast<double>(r)) < 9.0e18)
            fail("roundHalfEven of a huge value is not a huge value of its sign", input, detail);
    }
    if (v != 0 && std::fabs(v) < 9.0e18 && text::roundHalfEven(-v) != -r)
        fail("roundHalfEven is not symmetric about 0", input, detail);
}

// --- stamps -------------------------------------------------------------------

int twoDigits(const QByteArray &s, int at)
{
    const char a = s[at];
    const char b = s[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

int daysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A stamp as lists and logs write it: "DD-MM-YY HH:MM:SS", a real date of
// 2000-2099 and a real time of day.
bool isStamp(const QByteArray &s, QDate &date, QTime &time)
{
    if (s.size() != 17 || s[2] != '-' || s[5] != '-' || s[8] != ' ' || s[11] != ':' || s[14] != ':')
        return false;
    const int d = twoDigits(s, 0), mo = twoDigits(s, 3), y = twoDigits(s, 6);
    const int h = twoDigits(s, 9), mi = twoDigits(s, 12), se = twoDigits(s, 15);
    if (d < 1 || mo < 1 || mo > 12 || y < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 ||
        se > 59 || d > daysIn(2000 + y, mo))
        return false;
    date = QDate(2000 + y, mo, d);
    time = QTime(h, mi, se);
    return true;
}

void checkStamp(const QByteArray &input)
{
    const QString s = text::fromBytes(input);
    const QDateTime t = text::parseStamp(s);
    QDate date;
    QTime time;
    if (!isStamp(input, date, time)) {
        if (t.isValid())
            fail("parseStamp took a text that is not a stamp", input, t.toString(Qt::ISODate));
        return;
    }
    // Stamps are local time. A time that the clock skips (the hour lost to
    // daylight saving time) may read any way; every other one reads as
    // itself. Run with a TZ that has daylight saving time to cover this.
    if (!QDateTime(date, time).isValid())
        return;
    if (!t.isValid())
        fail("parseStamp refused a stamp", input);
    if (t.date() != date || t.time() != time)
        fail("parseStamp read a stamp as another time", input, t.toString(Qt::ISODate));
    if (text::stamp(t) != s)
        fail("stamp() does not give back the stamp read", input, text::stamp(t));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 1 << 16)
        return -1;
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    checkSplitLines(input);
    checkNumericValue(input);
    checkStamp(input);
    // The raw bytes as a double too, for the values no text reaches (NaN,
    // infinities, subnormals, exact halves far from 0).
    if (size >= sizeof(double)) {
        double v;
        std::memcpy(&v, data, sizeof v);
        checkRounding(v, input);
    }
    return 0;
}
