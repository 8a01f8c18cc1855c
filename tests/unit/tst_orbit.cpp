#include "orbit/elements.h"
#include "orbit/look.h"
#include "orbit/passes.h"
#include "orbit/sgp4.h"

#include <QFile>
#include <QTest>

using namespace kestrel::orbit;

namespace {

const Station station{49.0583, -72.0292, 0};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The reference figures of bench/orbit_reference.py, one row of numbers a line.
QList<QList<double>> table(const QString &path)
{
    QList<QList<double>> rows;
    for (const QByteArray &line : contents(path).split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        rows.append(QList<double>());
        for (const QByteArray &field : line.split(','))
            rows.last().append(field.toDouble());
    }
    return rows;
}

// The sets of leo.tle and the near-Earth ones of the model's verification file.
Elements satellite(int catalogueNumber)
{
    for (const char *name : {"/leo.tle", "/verification.tle"}) {
        const QByteArray text = contents(QStringLiteral(KESTREL_TEST_DATA "/orbit") + name);
        for (const Elements &e : readElements(text.toStdString()).sets)
            if (e.catalogueNumber == catalogueNumber)
                return e;
    }
    return {};
}

} // namespace

class TestOrbit : public QObject
{
    Q_OBJECT

private slots:
    // Position, velocity, the station's view and the subpoint, from a day
    // before the epoch to three days after; nothing where the model fails
    // (a row of two numbers).
    void propagation_data()
    {
        QTest::addColumn<QList<double>>("row");
        for (const auto &row : table(QStringLiteral(KESTREL_TEST_DATA "/orbit/states.csv")))
            QTest::addRow("%d at %.0f", int(row[0]), row[1]) << row;
    }
    void propagation()
    {
        QFETCH(QList<double>, row);
        const double t = row[1];
        const auto s = Propagator(satellite(int(row[0]))).at(t);
        QCOMPARE(s.has_value(), row.size() > 2);
        if (!s)
            return;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(qAbs(s->positionKm[i] - row[2 + i]) < 1e-3);
            QVERIFY(qAbs(s->velocityKmS[i] - row[5 + i]) < 1e-6);
        }
        const Look l = look(station, *s, t);
        const Subpoint p = subpoint(s->positionKm, t);
        const double got[] = {l.azimuthDeg,  l.elevationDeg, l.rangeKm, l.rangeRateKmS,
                              p.latitudeDeg, p.longitudeDeg, p.heightKm};
        const double within[] = {1e-5, 1e-5, 1e-4, 1e-7, 1e-6, 1e-6, 1e-4};
        const char *what[] = {"azimuth",  "elevation", "range", "range rate",
                              "latitude", "longitude", "height"};
        for (int i = 0; i < 7; ++i)
            QVERIFY2(qAbs(got[i] - row[8 + i]) < within[i], what[i]);
    }

    // A day's passes over a station: rise and set within a second, the
    // highest elevation within a hundredth of a degree. The ISS also far
    // north, where one of its passes lasts 38 seconds.
    void passSearch_data()
    {
        QTest::addColumn<QList<QList<double>>>("expected");
        QMap<QString, QList<QList<double>>> byStation;
        for (const auto &row : table(QStringLiteral(KESTREL_TEST_DATA "/orbit/passes.csv")))
            byStation[QString("%1 at %2").arg(row[0]).arg(row[1])].append(row);
        for (auto it = byStation.cbegin(); it != byStation.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.value();
    }
    void passSearch()
    {
        QFETCH(QList<QList<double>>, expected);
        const auto &first = expected[0];
        const Propagator p(satellite(int(first[0])));
        // Started a little later too: the short pass falls between samples.
        for (const double late : {0, 15, 30, 45}) {
            const auto found = passes(p, Station{first[1], first[2], 0}, first[3] + late, 24);
            QCOMPARE(found.size(), std::size_t(expected.size()));
            for (std::size_t i = 0; i < found.size(); ++i) {
                const auto &want = expected[qsizetype(i)];
                QVERIFY(qAbs(found[i].riseUnix - want[4]) < 1);
                QVERIFY(qAbs(found[i].maxUnix - want[5]) < 1);
                QVERIFY(qAbs(found[i].setUnix - want[6]) < 1);
                QVERIFY(qAbs(found[i].maxElevationDeg - want[7]) < 0.01);
            }
        }
        // From the top of the first pass: it counts, with its earlier rise.
        const auto during = passes(p, Station{first[1], first[2], 0}, first[5], 0.01);
        QCOMPARE(during.size(), std::size_t(1));
        QVERIFY(qAbs(during[0].riseUnix - first[4]) < 1);
    }

    // The set between the ISS and AO-91 varies; those two are always read.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("middle");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("problem");
        const QByteArray one =
            "1 27607U 02058C   19120.52375000  .00000044  00000-0  21463-4 0  9990";
        const QByteArray two =
            "2 27607  64.5529 173.2040 0043926 248.7563 110.8824 14.75679812868041";
        const auto row = [](const char *name, const QByteArray &middle, const char *problem,
                            const char *names = "ISS (ZARYA),AO-91") {
            QTest::newRow(name) << middle << names << problem;
        };
        row("named", "SO-50\n" + one + "\n" + two, "", "ISS (ZARYA),SO-50,AO-91");
        row("no name line, CRLF, trailing blanks", one + "  \r\n" + two + "\r", "",
            "ISS (ZARYA),27607,AO-91");
        row("checksum", "SO-50\n" + one.left(68) + "5\n" + two,
            "SO-50, line 5: fails its checksum (ends in 5, the line sums to 0)");
        row("short line", "SO-50\n" + one + "\n" + two.left(51),
            "SO-50, line 6: 51 characters where an element line has 69");
        row("binary bytes",
            "SO-50\n" + one.left(20) + QByteArray("\0\xff\x1b", 3) + one.mid(23) + "\n" + two,
            "SO-50, line 5: holds bytes an element line cannot have (a damaged file?)");
        row("catalogue numbers", "SO-50\n" + one + "\n" + two.left(6) + "8" + two.mid(7, 61) + "2",
            "SO-50, line 6: line 2 is for catalogue number \"27608\" but line 1 for 27607");
        row("deep space",
            "AO-40\n1 26609U 00072B   08264.50000000 -.00000051  00000-0  10000-3 0  9998\n"
            "2 26609   6.8700 123.4560 7960000 200.0000  20.0000  1.00285000 12349",
            "AO-40: a period of 1436 min is deep space; only near-Earth sets (225 min or less) "
            "are followed");
        row("inside the earth", "SO-50\n" + one + "\n" + two.left(52) + "17.50000000868044",
            "SO-50, line 6: a mean motion of 17.50000000 rev/day is an orbit inside the earth");
        row("stray bytes", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10),
            "lines 4-6 (\"?PNG\"): not part of an element set");
    }
    void reader()
    {
        QFETCH(QByteArray, middle);
        const QByteArray file = contents(QStringLiteral(KESTREL_TEST_DATA "/orbit/leo.tle"));
        const QByteArray text =
            file.left(file.indexOf("SO-50")) + middle + '\n' + file.mid(file.indexOf("AO-91"));
        const ReadResult r = readElements(std::string_view(text.constData(), text.size()));
        QStringList names, problems;
        for (const Elements &e : r.sets)
            names.append(QString::fromStdString(e.name));
        for (const std::string &p : r.problems)
            problems.append(QString::fromStdString(p));
        QTEST(names.join(','), "names");
        QTEST(problems.join('\n'), "problem");
    }
};

QTEST_APPLESS_MAIN(TestOrbit)
#include "tst_orbit.moc"
