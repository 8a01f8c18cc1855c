#include "aprs/decoder.h"

#include <QTest>

using namespace kestrel;

// What the decoder makes of a frame, in one line: the source, the kind, the
// position, the flags, and the Mic-E line.
static QString summary(const decoder::Result &r)
{
    static const char *const kinds[] = {"None",    "Position", "Object", "Nmea",
                                        "Message", "Weather",  "MicE"};
    QStringList parts{r.source, kinds[static_cast<int>(r.kind)], r.position.latitude,
                      r.position.longitude};
    parts << (r.compressed ? "compressed" : "") << (r.timeStamped ? "stamped" : "")
          << (r.accepted() ? "accepted" : "") << r.micELine.value_or(QString());
    parts.removeAll(QString());
    return parts.join(u' ');
}

class TestDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("onlyDirect");
        QTest::addColumn<QString>("result");
        const auto row = [](const QString &frame, const QString &result, bool onlyDirect = false) {
            QTest::newRow(qPrintable(frame)) << frame << onlyDirect << result;
        };
        // A frame from N1ABC-7 with the given information.
        const auto info = [&row](const char *information, const char *result) {
            row(QStringLiteral("N1ABC-7>APRS:") + information,
                "N1ABC-7 " + QString::fromUtf8(result));
        };
        // Compressed only after "!" and "=" with a symbol table, or after a time stamp.
        info("=/5L!!<*e7>7P[", "None 4930.00N 07245.00W compressed accepted");
        info("!\\5L!!<*e7>7P[", "None 4930.00N 07245.00W compressed accepted");
        info("/092345z/5L!!<*e7>7P[", "None 4930.00N 07245.00W compressed stamped accepted");
        info("/092345z4903.50N/07201.75W>", "None");
        // Truncated, not rounded: 90 - 1/380926 degrees is 89 59.99...
        info("=/!!!\"!!!!>", "None 8959.99N 18000.00W compressed accepted");
        // NMEA fields found by comma, minutes cut or filled to two decimals.
        const char *gps = "Nmea 4807.03N 01131.00E accepted";
        info("$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A", gps);
        info("$GPGGA,123519,4807.03,N,01131.0,E,1,08,0.9,545.4,M,46.9,M,,*47", gps);
        info("$GPRMC,123519,V,,,,,,,230394,,*6A", "Nmea");
        row("N1ABC>S32U6T:`(_fn\"Oj/",
            "N1ABC MicE 3325.64N 01207.74W accepted Course:251° Speed:37 km/h (Returning)");
        // A Mic-E body of three bytes: no position, no line.
        row("N1ABC>S32U6T:`(_f", "N1ABC MicE");
        // Nothing shown: all zeros, and the kinds without a position.
        info("!0000.00N/00000.00E-", "Position 0000.00N 00000.00E");
        info(";LEOSAT   *142000z4903.50N\\07201.75WSsat", "Object");
        info(":N2XYZ    :hello{1", "Message");
        info("@092345z4903.50N/07201.75W_", "Weather");
        row("no separator at all", "None");
        row("N1ABC>APRS !4903.50N/07201.75W-", "N1ABC None");
        // Only direct: nothing from a frame a digipeater repeated.
        const QString repeated = "N1ABC-7>APRS,RS0ISS*:!4903.50N/07201.75W-";
        const QString position = "N1ABC-7 Position 4903.50N 07201.75W accepted";
        row(repeated, "None", true);
        row(repeated, position);
        row("N1ABC-7>APRS,WIDE2-1:!4903.50N/07201.75W-", position, true);
        // Short fields end cleanly.
        info("!4903.50N/0720", "Position");
        info("=/5L!", "None compressed");
        info("/092345z/5L", "None compressed stamped");
        info("$GPGGA,123519,4807.038,N", "Nmea");
        info("", "None");
    }
    void decode()
    {
        QFETCH(QString, frame);
        QFETCH(bool, onlyDirect);
        // The path as the frame carried it, "*" on a digipeater that repeated it.
        const QString via = frame.section(u':', 0, 0).section(u',', 1);
        QTEST(summary(decoder::decode(frame, via, onlyDirect)), "result");
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
