// Frames stored by zeno-host rx reach the test APRS-IS server through the
// real kestrel --headless, and the lists it saves hold them.

#include "support/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QProcess>
#include <QTest>
#include <csignal>

class TestRf : public QObject
{
    Q_OBJECT

    static void rx(const TempStation &s, const QString &frame)
    {
        QProcess p;
        p.start(programUnderTest("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "rx", frame});
        p.waitForFinished(5000);
    }

private slots:
    void framesReachTheServerExactly()
    {
        AprsIsTestServer server;
        QVERIFY(server.listen());
        TempStation s;
        s.writeSettings({"APRS-IS Port=" + QString::number(server.port()), "Log IGated= 1"});
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--connect", "--program-dir", s.programDir(), "--mailbox",
                       s.mailboxDir()});
        QTRY_VERIFY_WITH_TIMEOUT(server.loggedIn(), 5000);
        QTest::qWait(300);

        const QString direct =
            " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=24 >[14:00:05]\\r!4903.50N/07201.75W-Test";
        rx(s, direct);
        QTest::qWait(1500);
        rx(s, direct); // the same text again: no new frame
        QTest::qWait(1500);
        rx(s, " 1:Fm N2XYZ-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=6 >[14:00:08]\\r>hello");
        QTRY_COMPARE_WITH_TIMEOUT(server.lines().size(), 3, 5000);
        QCOMPARE(server.lines().mid(1),
                 QList<QByteArray>({"N1ABC-7>APRS,qAR,N1IGT-10:!4903.50N/07201.75W-Test",
                                    "N2XYZ-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:>hello"}));
        QVERIFY(server.raw().endsWith("N2XYZ-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:>hello\r\n"));

        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        const QList<QByteArray> rows =
            TempStation::readFile(s.programFile("mheard.txt")).split('\n');
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows[0].startsWith("N1ABC-7   "));
        QVERIFY(rows[1].startsWith("N2XYZ-9   ") && rows[1].endsWith(" N1DIG*,WIDE2-1\r"));
        QVERIFY(TempStation::readFile(s.programFile("Logs_Kestrel/igated.txt"))
                    .startsWith("N1ABC-7>APRS,qAR,N1IGT-10:\r\n!4903.50N/07201.75W-Test\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestRf)
#include "tst_rf.moc"
