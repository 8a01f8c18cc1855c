#include "aprs/decoder.h"

#include <QTest>

using namespace kestrel;
using decoder::Kind;

class TestDecoder : public QObject
{
    Q_OBJECT

    static decoder::Result decode(const QString &info, const QString &via = {},
                                  bool onlyDirect = false)
    {
        return decoder::decode("N1ABC-7>APRS" + via + ":" + info, via, onlyDirect);
    }

private slots:
    void positionsByKind()
    {
        const auto plain = decode("!4903.50N/07201.75W-Test");
        QCOMPARE(plain.kind, Kind::Position);
        QCOMPARE(plain.source, QStringLiteral("N1ABC-7"));
        QCOMPARE(plain.position.latitude, QStringLiteral("4903.50N"));
        QCOMPARE(plain.position.longitude, QStringLiteral("07201.75W"));
        QVERIFY(plain.accepted());

        for (const char *info : {"=/5L!!<*e7>7P[", "/092345z/5L!!<*e7>7P["}) {
            const auto c = decode(info);
            QVERIFY(c.compressed);
            QCOMPARE(c.timeStamped, info[0] == '/');
            QCOMPARE(c.position.latitude, QStringLiteral("4930.00N"));
            QCOMPARE(c.position.longitude, QStringLiteral("07245.00W"));
        }
        // A plain position with a time stamp is not taken.
        QVERIFY(!decode("/092345z4903.50N/07201.75W>").accepted());

        // NMEA minutes with however many decimals, cut or filled to two.
        for (const char *info :
             {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A",
              "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
              "$GPRMC,123519,A,4807.03,N,01131.00,E,022.4,084.4,230394,003.1,W*6A",
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
              "$GPGGA,123519,4807.03,N,01131.0,E,1,08,0.9,545.4,M,46.9,M,,*47"}) {
            const auto gps = decode(info);
            QCOMPARE(gps.kind, Kind::Nmea);
            QCOMPARE(gps.position.latitude, QStringLiteral("4807.03N"));
            QCOMPARE(gps.position.longitude, QStringLiteral("01131.00E"));
        }

        const auto mic = decoder::decode("N1ABC>S32U6T:`(_fn\"Oj/", {}, false);
        QCOMPARE(mic.kind, Kind::MicE);
        QCOMPARE(mic.position.latitude, QStringLiteral("3325.64N"));
        QCOMPARE(mic.position.longitude, QStringLiteral("01207.74W"));
        QCOMPARE(mic.micELine, QStringLiteral("Course:251\u00b0 Speed:37 km/h (Returning)"));
    }

    void nothingShown()
    {
        QVERIFY(!decode("!0000.00N/00000.00E-").accepted());
        QCOMPARE(decode(";LEOSAT   *142000z4903.50N\\07201.75WSsat").kind, Kind::Object);
        QCOMPARE(decode(":N2XYZ    :hello{1").kind, Kind::Message);
        QCOMPARE(decode("@092345z4903.50N/07201.75W_").kind, Kind::Weather);
        for (const char *info :
             {";LEOSAT   *142000z4903.50N\\07201.75WSsat", ":N2XYZ    :hello{1", ">status",
              "@092345z4903.50N/07201.75W_", "T#001,1,2,3", "$GPRMC,123519,V,,,,,,,230394,,*6A"})
            QVERIFY2(!decode(info).accepted(), info);
        QVERIFY(!decoder::decode("no separator at all", {}, false).accepted());
        QVERIFY(decoder::decode("N1ABC>APRS !4903.50N/07201.75W-", {}, false)
                    .position.latitude.isEmpty());
    }

    void onlyDirect()
    {
        QVERIFY(!decode("!4903.50N/07201.75W-", ",RS0ISS*", true).accepted());
        QVERIFY(decode("!4903.50N/07201.75W-", ",RS0ISS*", false).accepted());
        QVERIFY(decode("!4903.50N/07201.75W-", ",WIDE2-1", true).accepted());
    }

    void shortFieldsEndCleanly()
    {
        for (const char *info : {"!", "=", "!4903.50N/0720", "=/5L!", "/092345z/5L", "$GPRMC,1235",
                                 "$GPGGA,123519,4807.038,N", "`", "`(_", ""})
            QVERIFY2(!decode(info).accepted(), info);
        // A Mic-E body of three bytes: no position, no line.
        const auto m = decoder::decode("N1ABC>S32U6T:`(_f", {}, false);
        QVERIFY(!m.accepted());
        QVERIFY(!m.micELine);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
