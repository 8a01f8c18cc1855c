// How often the position decoder agrees with an independent one, direwolf's
// decode_aprs, on made-up packets of every position format: plain, plain with
// messaging, compressed with and without a time stamp, Mic-E (with the
// longitude bands the degree byte folds) and $GPRMC. A position agrees when
// latitude and longitude are within a hundredth of a minute of decode_aprs's
// (this decoder truncates where that one rounds). Prints figures; judges
// nothing. bench/crosscheck.sh runs the three steps.
//
//   bench_crosscheck corpus [SEED [ROUNDS]]    the packets, one a line
//   bench_crosscheck answers PACKETS OUTPUT    decode_aprs's position for each
//                                              packet in its OUTPUT, one a line
//                                              ("-" where it printed none)
//   bench_crosscheck compare PACKETS ANSWERS   the agreement

#include "aprs/decoder.h"
#include "summary.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <optional>

using namespace kestrel;

namespace {

QString plain(double v, int degDigits, QChar pos, QChar neg)
{
    const double a = std::fabs(v);
    const int d = static_cast<int>(a);
    const double m = (a - d) * 60;
    return QStringLiteral("%1%2")
               .arg(d, degDigits, 10, QLatin1Char('0'))
               .arg(m, 5, 'f', 2, QLatin1Char('0')) +
           (v < 0 ? neg : pos);
}

QString base91(double v)
{
    auto n = static_cast<long long>(v);
    QString out(4, u'!');
    for (int i = 3; i >= 0; --i) {
        out[i] = QChar(static_cast<char16_t>(33 + n % 91));
        n /= 91;
    }
    return out;
}

// Mic-E as the format encodes it, with the offset and the degree bytes for
// 0-9 and 100-109 degrees.
QString micE(double lat, double lon)
{
    const QString digits = plain(lat, 2, u'N', u'S').remove(u'.');
    QString dest;
    for (int i = 0; i < 6; ++i) {
        const int d = digits[i].digitValue();
        const bool high = (i == 0) || (i == 3 && lat >= 0) ||
                          (i == 4 && (std::fabs(lon) >= 100 || std::fabs(lon) < 10)) ||
                          (i == 5 && lon < 0);
        dest += QChar(static_cast<char16_t>((high ? 'P' : '0') + d));
    }
    const double a = std::fabs(lon);
    const int deg = static_cast<int>(a);
    const double minutes = (a - deg) * 60;
    const int m = static_cast<int>(minutes);
    const int h = static_cast<int>(std::round((minutes - m) * 100)) % 100;
    const int degreeByte = deg < 10    ? deg + 118
                           : deg < 100 ? deg + 28
                           : deg < 110 ? deg + 8
                                       : deg - 72;
    QString body = QStringLiteral("`");
    body += QChar(static_cast<char16_t>(degreeByte));
    body += QChar(static_cast<char16_t>(m < 10 ? m + 88 : m + 28));
    body += QChar(static_cast<char16_t>(h + 28));
    body += QStringLiteral("n\"O>/");
    return "N1ABC-9>" + dest + ":" + body;
}

QString nmeaField(double v, int degDigits)
{
    const double a = std::fabs(v);
    return QStringLiteral("%1%2")
        .arg(static_cast<int>(a), degDigits, 10, QLatin1Char('0'))
        .arg((a - static_cast<int>(a)) * 60, 7, 'f', 4, QLatin1Char('0'));
}

// Five packets a round, and a $GPRMC sentence every other round.
QStringList corpus(quint32 seed, int rounds)
{
    QRandomGenerator rng(seed);
    QStringList out;
    const auto uniform = [&rng](double lo, double hi) {
        return lo + (hi - lo) * rng.generateDouble();
    };
    for (int i = 0; i < rounds; ++i) {
        const double lat = uniform(-80, 80), lon = uniform(-179, 179);
        const QString pos = plain(lat, 2, u'N', u'S') + "/" + plain(lon, 3, u'E', u'W');
        out << "N1ABC-7>APRS:!" + pos + "-Plain";
        out << "N2XYZ-9>APRS,WIDE2-1:=" + pos + ">Plain with messaging";
        const QString c = base91(380926 * (90 - lat)) + base91(190463 * (180 + lon));
        out << "N3DEF-5>APRS:=/" + c + ">7P[";
        out << "N3DEF-6>APRS:/092345z/" + c + ">7P[";
        // Every fifth station in each band the degree byte folds.
        const double mlon = i % 5 == 0   ? uniform(0.5, 9.9)
                            : i % 5 == 1 ? uniform(100, 109.9)
                                         : uniform(10, 179);
        const double mlat = uniform(0.5, 80) * (i % 2 ? 1 : -1);
        out << micE(mlat, i % 3 ? -mlon : mlon);
    }
    for (int i = 0; i < rounds / 2; ++i) {
        const double lat = uniform(-80, 80), lon = uniform(-179, 179);
        const QString sentence = "GPRMC,123519,A," + nmeaField(lat, 2) + (lat < 0 ? ",S," : ",N,") +
                                 nmeaField(lon, 3) + (lon < 0 ? ",W," : ",E,") +
                                 "022.4,084.4,230394,003.1,W";
        int sum = 0;
        for (const QChar c : sentence)
            sum ^= c.unicode();
        out << "N4GPS>APRS:$" + sentence +
                   QStringLiteral("*%1").arg(sum, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

std::optional<QStringList> readLines(const char *path)
{
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines = QString::fromLatin1(f.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// decode_aprs prints each packet, then what it read from it, then a blank
// line; a position as "N 49 03.5000, W 072 01.7500".
const QRegularExpression
    kPosition(QStringLiteral("([NS]) (\\d+) (\\d+\\.\\d+), ([EW]) (\\d+) (\\d+\\.\\d+)"));

QStringList answers(const QStringList &packets, QString output)
{
    output.remove(QRegularExpression(QStringLiteral("\x1b\\[[0-9;]*[A-Za-z]")));
    QStringList result;
    qsizetype at = 0;
    for (const QString &packet : packets) {
        const qsizetype start = output.indexOf(packet, at);
        const qsizetype next = start < 0 ? -1 : output.indexOf(QStringLiteral("\n\n"), start);
        const QString block =
            start < 0 ? QString() : output.mid(start, next < 0 ? -1 : next - start);
        at = start < 0 ? at : start + 1;
        const auto m = kPosition.match(block);
        result << (m.hasMatch() ? m.captured(0) : QStringLiteral("-"));
    }
    return result;
}

double degreesOf(const QString &hemisphere, const QString &deg, const QString &min)
{
    const double v = deg.toDouble() + min.toDouble() / 60;
    return hemisphere == u'S' || hemisphere == u'W' ? -v : v;
}

// Where the two decoders part, or an empty text when they agree.
QString disagreement(const QString &packet, const QString &answer)
{
    const decoder::Result r = decoder::decode(packet, {}, false);
    const auto m = kPosition.match(answer);
    if (!r.accepted() || !m.hasMatch())
        return QStringLiteral("ours %1, theirs %2")
            .arg(r.accepted() ? r.position.latitude : QStringLiteral("none"), answer);
    const double tolerance = 0.0101 / 60;
    const QString &la = r.position.latitude, &lo = r.position.longitude;
    const double lat = degreesOf(la.right(1), la.left(2), la.mid(2, 5));
    const double lon = degreesOf(lo.right(1), lo.left(3), lo.mid(3, 5));
    if (std::fabs(lat - degreesOf(m.captured(1), m.captured(2), m.captured(3))) <= tolerance &&
        std::fabs(lon - degreesOf(m.captured(4), m.captured(5), m.captured(6))) <= tolerance)
        return {};
    return QStringLiteral("ours %1 %2, theirs %3").arg(la, lo, answer);
}

void print(const QStringList &lines)
{
    for (const QString &line : lines)
        std::printf("%s\n", line.toLatin1().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    if (benchHelp(argc, argv,
                  "usage: bench_crosscheck corpus [SEED [ROUNDS]]\n"
                  "       bench_crosscheck answers PACKETS DECODE_APRS_OUTPUT\n"
                  "       bench_crosscheck compare PACKETS ANSWERS\n"))
        return 0;
    const QByteArray step = argc > 1 ? argv[1] : "";
    if (step == "corpus") {
        print(corpus(argc > 2 ? QByteArray(argv[2]).toUInt() : 20261206,
                     argc > 3 ? QByteArray(argv[3]).toInt() : 10));
        return 0;
    }
    const auto packets = argc > 3 ? readLines(argv[2]) : std::nullopt;
    const auto second = argc > 3 ? readLines(argv[3]) : std::nullopt;
    if (!packets || !second) {
        std::fprintf(stderr, "bench_crosscheck: see --help\n");
        return 2;
    }
    if (step == "answers") {
        print(answers(*packets, second->join(u'\n')));
        return 0;
    }
    if (step != "compare" || second->size() != packets->size()) {
        std::fprintf(stderr, "bench_crosscheck: see --help\n");
        return 2;
    }
    int agreed = 0;
    for (qsizetype i = 0; i < packets->size(); ++i) {
        const QString why = disagreement(packets->at(i), second->at(i));
        if (why.isEmpty())
            ++agreed;
        else
            std::printf("differs: %s: %s\n", packets->at(i).toLatin1().constData(),
                        why.toLatin1().constData());
    }
    const QString figure =
        QStringLiteral("%1 of %2 (%3 %)")
            .arg(agreed)
            .arg(packets->size())
            .arg(100.0 * agreed / std::max<qsizetype>(packets->size(), 1), 0, 'f', 1);
    std::printf("positions agreeing with decode_aprs: %s\n", figure.toLatin1().constData());
    benchSummary("crosscheck", "positions agreeing with decode_aprs", figure, "all");
    return 0;
}
