#include "orbit/elements.h"

#include "orbit/sgp4.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <utility>

namespace kestrel::orbit {

namespace {

constexpr std::size_t lineLength = 69;

struct Line
{
    int number = 0; // in the file, from 1
    std::string_view text;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A data line starts with its line number and a blank.
bool isDataLine(std::string_view s, char number)
{
    return !s.empty() && s[0] == number && (s.size() == 1 || s[1] == ' ');
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

// Printable ASCII only, as element lines are.
bool isAscii(std::string_view s)
{
    for (const unsigned char c : s)
        if (isControl(c) || c >= 0x80)
            return false;
    return true;
}

// Text fit for a problem line: anything but printable ASCII as '?', cut short.
std::string printable(std::string_view s, std::size_t limit = 24)
{
    std::string out;
    for (const unsigned char c : s.substr(0, limit))
        out += (isControl(c) || c >= 0x80) ? '?' : char(c);
    if (s.size() > limit)
        out += "...";
    return out;
}

// A name as it stands (UTF-8 or Latin-1 kept), cut at 64 bytes on a
// character boundary; nothing when it holds control bytes.
std::optional<std::string> nameOf(std::string_view s)
{
    for (const unsigned char c : s)
        if (isControl(c))
            return std::nullopt;
    if (s.size() > 64) {
        s = s.substr(0, 64);
        while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xc0) == 0x80)
            s.remove_suffix(1);
        if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xc0)
            s.remove_suffix(1);
    }
    return std::string(s);
}

// Sign, digits, an optional point and more digits: nothing else.
std::optional<double> decimal(std::string_view field)
{
    field = trimmed(field);
    if (!field.empty() && field[0] == '+')
        field.remove_prefix(1);
    bool digit = false, point = false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else if (!(c == '-' && i == 0))
            return std::nullopt;
    }
    double value = 0;
    if (!digit ||
        std::from_chars(field.data(), field.data() + field.size(), value).ec != std::errc())
        return std::nullopt;
    return value;
}

// Digits only, blanks around them allowed.
std::optional<long> whole(std::string_view field)
{
    field = trimmed(field);
    long value = 0;
    if (field.empty() || field.find_first_not_of("0123456789") != std::string_view::npos ||
        std::from_chars(field.data(), field.data() + field.size(), value).ec != std::errc())
        return std::nullopt;
    return value;
}

// The implied-point form of the drag fields: " 12345-4" is 0.12345e-4.
std::optional<double> impliedPoint(std::string_view field)
{
    field = trimmed(field);
    const std::size_t exponentAt = field.find_last_of("+-");
    if (field.size() < 3 || exponentAt != field.size() - 2 || exponentAt == 0)
        return std::nullopt;
    std::string_view mantissa = field.substr(0, exponentAt);
    const bool negative = mantissa[0] == '-';
    if (mantissa[0] == '-' || mantissa[0] == '+')
        mantissa.remove_prefix(1);
    if (mantissa.empty())
        return std::nullopt;
    const auto m = decimal("0." + std::string(mantissa));
    const auto x = decimal(field.substr(exponentAt));
    if (!m || !x || mantissa.find('.') != std::string_view::npos)
        return std::nullopt;
    return (negative ? -*m : *m) * std::pow(10.0, *x);
}

// Five digits, or a letter (not I or O) and four digits for numbers past 99999.
std::optional<int> catalogue(std::string_view field)
{
    std::string_view digits = trimmed(field);
    int lead = 0;
    if (digits.size() == 5 && digits[0] >= 'A' && digits[0] <= 'Z' && digits[0] != 'I' &&
        digits[0] != 'O') {
        const char c = digits[0];
        lead = 10 + (c - 'A') - (c > 'I') - (c > 'O');
        digits.remove_prefix(1);
    }
    const auto value = whole(digits);
    if (!value || digits.size() > 5)
        return std::nullopt;
    return lead * 10000 + int(*value);
}

// Digits count as themselves and each minus as 1, modulo 10.
int checksum(std::string_view line)
{
    int sum = 0;
    for (const char c : line.substr(0, lineLength - 1)) {
        if (c >= '0' && c <= '9')
            sum += c - '0';
        else if (c == '-')
            sum += 1;
    }
    return sum % 10;
}

// Days from 1970-01-01 to a date of the Gregorian calendar.
long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

class SetReader
{
public:
    SetReader(std::string label, Line one, Line two)
        : label_(std::move(label)), one_(one), two_(two)
    {
    }

    // The set, or nothing with problem() saying why.
    std::optional<Elements> read()
    {
        for (const Line &l : {one_, two_}) {
            if (!isAscii(l.text))
                return fail(l, "holds bytes an element line cannot have (a damaged file?)");
            if (l.text.size() != lineLength)
                return fail(l, std::to_string(l.text.size()) +
                                   " characters where an element line has " +
                                   std::to_string(lineLength));
        }
        const auto number1 = catalogue(one_.text.substr(2, 5));
        const auto number2 = catalogue(two_.text.substr(2, 5));
        if (!number1)
            return fail(one_, "the catalogue number \"" + std::string(one_.text.substr(2, 5)) +
                                  "\" is not a number");
        if (number1 != number2)
            return fail(two_, "line 2 is for catalogue number \"" +
                                  std::string(trimmed(two_.text.substr(2, 5))) +
                                  "\" but line 1 for " + std::to_string(*number1));
        for (const Line &l : {one_, two_}) {
            const int sum = checksum(l.text);
            if (l.text[68] - '0' != sum)
                return fail(l, std::string("fails its checksum (ends in ") + l.text[68] +
                                   ", the line sums to " + std::to_string(sum) + ")");
        }

        Elements e;
        e.name = label_;
        e.catalogueNumber = *number1;
        const auto year = whole(one_.text.substr(18, 2));
        const auto day = decimal(one_.text.substr(20, 12));
        if (!year || !day || *day < 1 || *day >= 367)
            return fail(one_, "the epoch \"" + std::string(one_.text.substr(18, 14)) +
                                  "\" is not a year and day");
        const int fullYear = int(*year) + (*year < 57 ? 2000 : 1900);
        e.epochUnix = (double(daysFromCivil(fullYear, 1, 1)) + *day - 1) * 86400.0;

        const auto field = [&](const Line &l, int from, int size, const char *what, auto parse,
                               auto &out) {
            const auto v = parse(l.text.substr(from, size));
            if (!v)
                fail(l, std::string("the ") + what + " \"" +
                            std::string(trimmed(l.text.substr(from, size))) + "\" is not a number");
            else
                out = *v;
            return bool(v);
        };
        long eccentricity = 0;
        if (!(field(one_, 33, 10, "first derivative of the mean motion", decimal,
                    e.meanMotionDot) &&
              field(one_, 44, 8, "second derivative of the mean motion", impliedPoint,
                    e.meanMotionDdot) &&
              field(one_, 53, 8, "drag term", impliedPoint, e.bstar) &&
              field(two_, 8, 8, "inclination", decimal, e.inclinationDeg) &&
              field(two_, 17, 8, "right ascension", decimal, e.raanDeg) &&
              field(two_, 26, 7, "eccentricity", whole, eccentricity) &&
              field(two_, 34, 8, "argument of perigee", decimal, e.argPerigeeDeg) &&
              field(two_, 43, 8, "mean anomaly", decimal, e.meanAnomalyDeg) &&
              field(two_, 52, 11, "mean motion", decimal, e.meanMotion)))
            return std::nullopt;
        e.eccentricity = double(eccentricity) * 1e-7; // the point is implied
        const std::string_view revolution = trimmed(two_.text.substr(63, 5));
        if (!revolution.empty() && !field(two_, 63, 5, "revolution number", whole, e.revolution))
            return std::nullopt;
        if (e.inclinationDeg < 0 || e.inclinationDeg > 180)
            return fail(two_, "an inclination of " + std::string(trimmed(two_.text.substr(8, 8))) +
                                  " degrees is out of range");
        if (!(e.meanMotion > 0))
            return fail(two_, "a mean motion of 0 is no orbit");
        // Faster than 17 revolutions a day, the orbit lies inside the earth.
        if (e.meanMotion > maxMeanMotion)
            return fail(two_, "a mean motion of " + std::string(trimmed(two_.text.substr(52, 11))) +
                                  " rev/day is an orbit inside the earth");

        const double period = e.periodMinutes();
        if (period > nearEarthPeriodMinutes) {
            // Whole minutes, unless that would read as near-Earth.
            char minutes[32];
            std::snprintf(minutes, sizeof minutes, period < 225.5 ? "%.2f" : "%.0f", period);
            problem_ = label_ + ": a period of " + std::string(minutes) +
                       " min is deep space; only near-Earth sets (" +
                       std::to_string(int(nearEarthPeriodMinutes)) + " min or less) are followed";
            return std::nullopt;
        }
        return e;
    }

    const std::string &problem() const { return problem_; }

private:
    std::nullopt_t fail(const Line &l, const std::string &what)
    {
        problem_ = label_ + ", line " + std::to_string(l.number) + ": " + what;
        return std::nullopt;
    }

    std::string label_;
    Line one_, two_;
    std::string problem_;
};

} // namespace

double Elements::periodMinutes() const
{
    if (!(meanMotion > 0) || !(eccentricity >= 0 && eccentricity < 1))
        return HUGE_VAL;
    return 2 * std::numbers::pi / recoveredMeanMotion(*this);
}

double Elements::ageDays(double nowUnix) const
{
    return (nowUnix - epochUnix) / 86400.0;
}

ReadResult readElements(std::string_view text)
{
    std::vector<Line> lines;
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        while (!line.empty() && isBlank(line.back()))
            line.remove_suffix(1);
        lines.push_back({number, line});
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }

    ReadResult result;
    // Lines that belong to no set, reported together as one stretch.
    std::size_t strayFrom = 0, strayCount = 0;
    const auto flushStray = [&] {
        if (strayCount == 0)
            return;
        const Line &first = lines[strayFrom];
        const int last = lines[strayFrom + strayCount - 1].number;
        std::string where =
            strayCount == 1 ? "line " + std::to_string(first.number)
                            : "lines " + std::to_string(first.number) + "-" + std::to_string(last);
        result.problems.push_back(where + " (\"" + printable(trimmed(first.text)) +
                                  "\"): not part of an element set");
        strayCount = 0;
    };
    const auto stray = [&](std::size_t i) {
        if (strayCount == 0)
            strayFrom = i;
        ++strayCount;
    };

    for (std::size_t i = 0; i < lines.size();) {
        const std::string_view t = lines[i].text;
        if (trimmed(t).empty()) {
            flushStray();
            ++i;
            continue;
        }
        std::size_t one = i;
        std::string label;
        if (!isDataLine(t, '1')) {
            if (isDataLine(t, '2') || i + 1 == lines.size() ||
                !isDataLine(lines[i + 1].text, '1')) {
                stray(i++);
                continue;
            }
            std::string_view name = trimmed(t);
            if (name.size() > 2 && name.substr(0, 2) == "0 ")
                name = trimmed(name.substr(2));
            one = i + 1;
            const auto n = nameOf(name);
            if (!n) {
                flushStray();
                result.problems.push_back(printable(name) + ", line " +
                                          std::to_string(lines[i].number) +
                                          ": the name holds bytes that are not text");
                i = one + (one + 1 < lines.size() && isDataLine(lines[one + 1].text, '2') ? 2 : 1);
                continue;
            }
            label = *n;
        } else {
            label = printable(trimmed(t.substr(std::min<std::size_t>(2, t.size()), 5)));
        }
        flushStray();
        if (one + 1 == lines.size() || !isDataLine(lines[one + 1].text, '2')) {
            result.problems.push_back(label + ", line " + std::to_string(lines[one].number) +
                                      ": its line 2 is missing");
            i = one + 1;
            continue;
        }
        SetReader reader(label, lines[one], lines[one + 1]);
        if (const auto e = reader.read())
            result.sets.push_back(*e);
        else
            result.problems.push_back(reader.problem());
        i = one + 2;
    }
    flushStray();
    return result;
}

} // namespace kestrel::orbit
