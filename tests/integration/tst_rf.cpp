// Frames the host hands to the real kestrel --headless: the lines the
// APRS-IS server gets, to the byte, and the lists saved when it is signalled.

#include "support/fixtures.h"

#include <QRegularExpression>

class TestRf : public QObject
{
    Q_OBJECT

private slots:
    void gatedLinesAndSavedLists()
    {
        Headless h({"Log IGated= 1"});
        h.start();
        QVERIFY(h.loggedIn());
        const QString via = QStringLiteral("N1DIG*,WIDE2-1");
        QVERIFY(h.take(sample::monitor("N1ABC-7", sample::kPosition)));
        QVERIFY(h.take(sample::monitor("N2XYZ-9", ">hello", via)));
        const QByteArray direct = sample::gated("N1ABC-7", sample::kPosition);
        const QByteArray repeated = sample::gated("N2XYZ-9", ">hello", via);
        QVERIFY(h.serverGot(repeated));
        QCOMPARE(h.server.raw(), sample::kLogin + "\r\n" + direct + "\r\n" + repeated + "\r\n");

        QCOMPARE(h.stop(), 0);
        const QString stamp = QStringLiteral("\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
        const QRegularExpression mheard("^N1ABC-7   " + stamp + " \r\nN2XYZ-9   " + stamp +
                                        " N1DIG\\*,WIDE2-1\r\n$");
        QVERIFY2(mheard.match(QString::fromLatin1(h.file("mheard.txt"))).hasMatch(),
                 h.file("mheard.txt"));
        QCOMPARE(h.file("positions.txt"), QByteArray("N1ABC-7   0km 0\xb0\r\n"));
        QCOMPARE(h.file("Logs_Kestrel/igated.txt"),
                 QByteArray("N1ABC-7>APRS,qAR,N1IGT-10:\r\n!4903.50N/07201.75W-Test\r\n"
                            "N2XYZ-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:\r\n>hello\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestRf)
#include "tst_rf.moc"
