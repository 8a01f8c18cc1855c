#include "aprs/position.h"

#include <QTest>

using namespace kestrel;

class TestPosition : public QObject
{
    Q_OBJECT

private slots:
    void micE_data()
    {
        for (const char *column : {"destination", "information", "latitude", "longitude", "line"})
            QTest::addColumn<QString>(column);
        const auto row = [](const char *name, const char *destination, const char *information,
                            const char *latitude, const char *longitude, const QString &line) {
            QTest::newRow(name) << destination << information << latitude << longitude << line;
        };
        const QString line = "Course:251\u00b0 Speed:37 km/h (Returning)";
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

    // From the station's own position to another: "km bearing" ("-" for no
    // bearing), and the elevation of a satellite 400 km above the other.
    void geometry_data()
    {
        for (const char *column : {"own", "latitude", "longitude", "distance", "elevation"})
            QTest::addColumn<QString>(column);
        const auto row = [](const char *name, const char *own, const char *latitude,
                            const char *longitude, const char *distance, const char *elevation) {
            QTest::newRow(name) << own << latitude << longitude << distance << elevation;
        };
        const char *o = "0000.00N/00000.00E", *home = "4903.50N/07201.75W";
        // Ten degrees: 1111.9505 km with the station's pi of 3.141593.
        row("east", o, "0000.00N", "01000.00E", "1112.0 90", "14");
        row("west", o, "0000.00N", "01000.00W", "1112.0 270", "14");
        row("north", o, "1000.00N", "00000.00E", "1112.0 0", "14");
        row("south", o, "1000.00S", "00000.00E", "1112.0 180", "14");
        row("just west of north: 360, not 0", o, "1000.00N", "00000.03W", "1112.0 360", "14");
        // Minutes read to hundredths of a degree, truncated: 31' is 0.51 degrees.
        row("minutes truncated", o, "4531.00N", "00000.00E", "5060.5 0", "-19");
        // Letters in the digits read leniently: "9X" is 9.
        row("odd text", o, "9X00.00N", "xxx00.00E", "1000.8 0", "17");
        row("Munich to Paris", "4808.27N/01134.50E", "4851.40N", "00221.05E", "683.5 280", "26");
        // The far side of the earth, every way leading there, without a NaN.
        row("antipode", o, "0000.00S", "18000.00W", "20015.1 0", "-90");
        row("the same place", home, "4903.50N", "07201.75W", "0.0 -", "90");
        row("100 km away", home, "4957.50N", "07200.00W", "100.1 1", "75");
        // Where the horizon lies: 0.0009 and -0.009 both round to 0.
        row("horizon", home, "6851.00N", "07200.00W", "2200.7 0", "0");
        row("just below", home, "6852.00N", "07200.00W", "2201.8 0", "0");
        row("below", home, "7030.00N", "07200.00W", "2384.2 0", "-2");
        row("unreadable", "garbage", "4903.50N", "07201.75W", "none", "none");
    }
    void geometry()
    {
        QFETCH(QString, own);
        QFETCH(QString, latitude);
        QFETCH(QString, longitude);
        const position::Text remote{latitude, longitude};
        const auto d = position::distance(own, remote);
        const auto e = position::elevation(own, remote);
        const QString bearing = d && d->degrees ? QString::number(*d->degrees) : "-";
        QTEST(d ? QString::number(d->km, 'f', 1) + ' ' + bearing : "none", "distance");
        QTEST(e ? QString::number(*e) : "none", "elevation");
    }
};

QTEST_GUILESS_MAIN(TestPosition)
#include "tst_position.moc"
