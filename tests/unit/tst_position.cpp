#include "aprs/position.h"

#include <QTest>

using namespace kestrel;
using position::Text;

class TestPosition : public QObject
{
    Q_OBJECT

    static int bearing(const QString &own, const Text &remote)
    {
        return position::distance(own, remote).value().degrees.value_or(-1);
    }

private slots:
    void compressedPositions()
    {
        const auto p = position::compressed("5L!!<*e7>7P[");
        QVERIFY(p);
        QCOMPARE(p->latitude, QStringLiteral("4930.00N"));
        QCOMPARE(p->longitude, QStringLiteral("07245.00W"));
        // Truncated, not rounded: 90 - 1/380926 degrees is 89 59.99...
        QCOMPARE(position::compressed("!!!\"!!!!")->latitude, QStringLiteral("8959.99N"));
        QVERIFY(!position::compressed("5L!!<*e"));
    }

    void micE_data()
    {
        for (const char *column : {"destination", "information", "latitude", "longitude", "line"})
            QTest::addColumn<QString>(column);
        const auto row = [](const char *name, const char *destination, const char *information,
                            const char *latitude, const char *longitude, const QString &line) {
            QTest::newRow(name) << destination << information << latitude << longitude << line;
        };
        const QString line = "Course:251\u00b0 Speed:37 km/h (Returning)";
        row("plain", "S32U6T", "`(_fn\"Oj/", "3325.64N", "01207.74W", line);
        // The offset of the fifth character: 110-179 as they come, 100-109
        // and 0-9 (Paris) corrected from 180-189 and 190-199.
        row("110-179", "S32UVT", "`(_fn\"Oj/", "3325.64N", "11207.74W", line);
        row("100-109", "S32UVT", "`o_fn\"Oj/", "3325.64N", "10307.74W", line);
        // Course hundreds 0, not -400; s = 2, d = 20: 22 knots.
        row("0-9, course 47", "TX5QT0", "`x1!n0K/", "4851.40N", "00221.05E",
            "Course:47\u00b0 Speed:40 km/h (En Route)");
        // s = 8, d = 37: 83 knots, 153 km/h (by 1.855); course 751 less 400.
        row("speed", "S32U6T", "`(_f$AO", "3325.64N", "01207.74W",
            "Course:351\u00b0 Speed:153 km/h (Returning)");
        // A short destination: no latitude, no status, no west; the rest stays.
        row("short destination", "S32U", "`(_fn\"Oj/", "", "01207.74E",
            "Course:251\u00b0 Speed:37 km/h ()");
        row("short body", "S32U6T", "`(_f", "3325.64N", "", "");
        // Letters outside the digit ranges repeat the digit before them.
        row("odd letters", "3KZ4LL", "`(_fn\"Oj/", "3334.44S", "11207.74W",
            "Course:251\u00b0 Speed:37 km/h (Priority)");
    }
    void micE()
    {
        QFETCH(QString, destination);
        QFETCH(QString, information);
        const auto m = position::micE(destination, information);
        QTEST(m.latitude, "latitude");
        QTEST(m.longitude, "longitude");
        QTEST(m.line, "line");
    }

    void distanceAndBearing()
    {
        const QString origin = "0000.00N/00000.00E";
        QCOMPARE(bearing(origin, {"0000.00N", "01000.00E"}), 90);
        QCOMPARE(bearing(origin, {"0000.00N", "01000.00W"}), 270);
        QCOMPARE(bearing(origin, {"1000.00N", "00000.00E"}), 0);
        QCOMPARE(bearing(origin, {"1000.00S", "00000.00E"}), 180);
        // Just west of north rounds to 360, not 0.
        QCOMPARE(bearing(origin, {"1000.00N", "00000.03W"}), 360);
        // The antipode: the longest way, bearing 0.
        const auto far = position::distance(origin, {"0000.00S", "18000.00W"});
        QCOMPARE(far->km, 20015.1);
        QCOMPARE(far->degrees, 0);
        // The same place: no distance and no bearing.
        const auto here = position::distance("4903.50N/07201.75W", {"4903.50N", "07201.75W"});
        QCOMPARE(here->km, 0.0);
        QVERIFY(!here->degrees);
        // Paris from Munich.
        QCOMPARE(position::distance("4808.27N/01134.50E", {"4851.40N", "00221.05E"})->km, 683.5);
        // One degree of latitude on the 6371 km sphere, to one decimal.
        QCOMPARE(position::distance(origin, {"0100.00N", "00000.00E"})->km, 111.2);
        // Minutes are taken to two decimals of a degree, truncated: 30.99' is 0.51 degrees.
        QCOMPARE(position::degrees("4530.99N", 2), 45 + 0.5 + 99 / 6000.0);
        QVERIFY(!position::distance("garbage", {"4903.50N", "07201.75W"}));
        const auto odd = position::distance(origin, {"9X00.00N", "xxx00.00E"});
        QVERIFY(odd && std::isfinite(odd->km));
    }

    void elevationOfASatellite()
    {
        const QString own = "4903.50N/07201.75W";
        const auto el = [&own](const char *lat, const char *lon) {
            return position::elevation(own, {lat, lon}).value();
        };
        QCOMPARE(el("4957.50N", "07200.00W"), 75); // 100 km away
        // Where the horizon lies for 400 km: 0.0009 and -0.009 both round to 0.
        QCOMPARE(el("6851.00N", "07200.00W"), 0);
        QCOMPARE(el("6852.00N", "07200.00W"), 0);
        QCOMPARE(el("7030.00N", "07200.00W"), -2);
        // Straight overhead, and the far side of the earth, without a NaN.
        QCOMPARE(el("4903.50N", "07201.75W"), 90);
        QCOMPARE(position::elevation("0000.00N/00000.00E", {"0000.00S", "18000.00W"}), -90);
        QVERIFY(!position::elevation("short", {"4903.50N", "07201.75W"}));
    }
};

QTEST_GUILESS_MAIN(TestPosition)
#include "tst_position.moc"
