// Frames stored by zeno-host rx reach the test APRS-IS server through the
// real kestrel --headless, and the lists it saves hold them.

#include "test-servers/aprsistestserver.h"
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

    void filtersAndExpiryAsSaved()
    {
        AprsIsTestServer server;
        QVERIFY(server.listen());
        TempStation s;
        s.writeSettings({"APRS-IS Port=" + QString::number(server.port()), "Gate Only Direct= 1",
                         "MHExpTime=2"});
        // Two stations last heard 120 and 118 minute boundaries ago, with
        // positions (119 and 120 exactly are tested with a set clock; here a
        // minute may turn while the program starts).
        const QDateTime now = QDateTime::currentDateTime();
        const auto stamp = [&now](int minutes) {
            return now.addSecs(-60 * minutes).toString("dd-MM-yy HH:mm:").toLatin1() + "00";
        };
        s.writeFile(s.programFile("mheard.txt"),
                    "N7OLD-1   " + stamp(120) + " \r\nN7NEW-1   " + stamp(118) + " \r\n");
        s.writeFile(s.programFile("positions.txt"),
                    "N7OLD-1   10.0km 90\xb0\r\nN7NEW-1   20.0km 90\xb0\r\n");
        // A UTF-8 terminal reads the degree sign as UTF-8; the files keep Latin-1.
        qputenv("LC_ALL", "C.UTF-8");
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--program-dir", s.programDir(), "--mailbox", s.mailboxDir()});
        qunsetenv("LC_ALL");
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("MHeard -1 N7OLD-1"), 5000);
        QVERIFY(kestrel.out().contains("20.0km 90\xc2\xb0\n"));
        // Disconnected: heard and listed, not sent.
        rx(s, " 1:Fm N1ABC-7 To APRS Via N1DIG <UI pid=F0 Len=5 >[14:00:05]\\r>Test");
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("MHeard + N1ABC-7"), 5000);
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        const QByteArray mheard = TempStation::readFile(s.programFile("mheard.txt"));
        QVERIFY(!mheard.contains("N7OLD-1"));
        QVERIFY(mheard.contains("N7NEW-1"));
        QVERIFY(mheard.contains("N1ABC-7"));
        QCOMPARE(TempStation::readFile(s.programFile("positions.txt")),
                 QByteArray("N7NEW-1   20.0km 90\xb0\r\n"));
        QCOMPARE(server.connections(), 0);
    }

    void ownThirdPartyAndIndirectFrames()
    {
        AprsIsTestServer server;
        QVERIFY(server.listen());
        TempStation s;
        s.writeSettings({"APRS-IS Port=" + QString::number(server.port()), "Gate Only Direct= 1"});
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--connect", "--program-dir", s.programDir(), "--mailbox",
                       s.mailboxDir()});
        QTRY_VERIFY_WITH_TIMEOUT(server.loggedIn(), 5000);
        const QStringList frames = {
            " 1:Fm N1IGT-10 To APRS <UI pid=F0 Len=5 >[14:00:01]\\r>mine",
            " 1:Fm N2THP To APRS Via N1DIG <UI pid=F0 Len=20 >[14:00:02]\\r}N9XX>APRS:>relayed",
            " 1:Fm N3IND To APRS Via N1DIG* <UI pid=F0 Len=5 >[14:00:03]\\r>Test",
            " 1:Fm N4DIR To APRS <UI pid=F0 Len=5 >[14:00:04]\\r>Test",
            " 1:Fm N5VIA To APRS Via WIDE2-1 <UI pid=F0 Len=5 >[14:00:05]\\r>Test"};
        for (const QString &f : frames) {
            rx(s, f);
            QTest::qWait(1200);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.lines().size(), 2, 3000);
        QCOMPARE(server.lines()[1], QByteArray("N5VIA>APRS,WIDE2-1,qAR,N1IGT-10:>Test"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        const QByteArray mheard = TempStation::readFile(s.programFile("mheard.txt"));
        QVERIFY(!mheard.contains("N1IGT-10") && !mheard.contains("N2THP"));
        QVERIFY(mheard.contains("N3IND") && mheard.contains("N4DIR") && mheard.contains("N5VIA"));
    }
};

QTEST_GUILESS_MAIN(TestRf)
#include "tst_rf.moc"
