// The ISS object from the real kestrel --headless: SIGUSR1 runs the routine,
// the loopback look-up service answers, zeno-host watch sees what the host
// is handed. A hanging service holds up nothing else.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "test-servers/httptestserver.h"
#include "support/tempstation.h"

#include <QProcess>
#include <QTest>
#include <csignal>

class TestIss : public QObject
{
    Q_OBJECT

    static void useService(const TempStation &s, const HttpTestServer &web)
    {
        s.writeFile(s.programFile("services.ini"),
                    "[services]\naprs_lookup_host=" + web.host().toLatin1() + "\n");
    }

private slots:
    void objectReachesTheHost()
    {
        HttpTestServer web;
        QVERIFY(web.listen());
        web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        TempStation s;
        useService(s, web);
        s.writeSettings({"ISS Object= 1"});
        qputenv("LC_ALL", "C.UTF-8"); // the terminal's encoding, for the "º"
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--program-dir", s.programDir(), "--mailbox", s.mailboxDir()});
        qunsetenv("LC_ALL");
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("ISS frame: +ISS Position Object"), 5000);
        Child watch(programUnderTest("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "watch"});
        QTRY_VERIFY(watch.err().contains("watching"));

        kestrel.signal(SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(watch.out().contains("TXDATA ;ISS      *"), 5000);
        const QByteArray out = watch.out();
        const QByteArray object = out.mid(out.indexOf("TXDATA ;ISS") + 7).split('\n')[0];
        // watch writes the backslash doubled.
        QCOMPARE(object.mid(17), QByteArray("h4957.50N\\\\07200.00WSInternational Space Station"));
        // Hours, minutes and seconds of UTC, within a few seconds of now.
        const QTime stamp = QTime::fromString(QString::fromLatin1(object.mid(11, 6)), "HHmmss");
        QVERIFY(stamp.isValid());
        QVERIFY(std::abs(stamp.secsTo(QDateTime::currentDateTimeUtc().time())) < 10);
        QTRY_VERIFY(kestrel.out().contains("ISS: 100km/62mi Az:1\xc2\xba El:75\xc2\xba\n"));

        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
    }

    void hangingServiceHoldsUpNothing()
    {
        HttpTestServer web;
        QVERIFY(web.listen());
        web.hang = true;
        AprsIsTestServer server;
        QVERIFY(server.listen());
        TempStation s;
        useService(s, web);
        s.writeSettings({"APRS-IS Port=" + QString::number(server.port())});
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--connect", "--program-dir", s.programDir(), "--mailbox",
                       s.mailboxDir()});
        QTRY_VERIFY_WITH_TIMEOUT(server.loggedIn(), 5000);
        kestrel.signal(SIGUSR1);
        QTRY_COMPARE_WITH_TIMEOUT(web.requests().size(), 1, 5000);

        // While the page does not come, frames heard on RF are still gated.
        QProcess rx;
        rx.start(programUnderTest("ZENO_HOST_BIN"),
                 {"--mailbox", s.mailboxDir(), "rx",
                  " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=5 >[14:00:05]\\r>Test"});
        QVERIFY(rx.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(server.lines().contains("N1ABC-7>APRS,qAR,N1IGT-10:>Test"), 5000);
        QVERIFY(kestrel.out().contains("ISS frame: ISS Position Object > Searching ...\n"));
        QVERIFY(!kestrel.out().contains("WEB Error"));

        // A second ask while the first is under way fetches nothing more.
        kestrel.signal(SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("ISS object:  > WEB Error!\n"), 25000);
        QCOMPARE(web.requests().size(), 1);
        QVERIFY(kestrel.out().contains("ISS frame: ISS Position Object\n"));
        QVERIFY(TempStation::readFile(s.programFile("errors.txt"))
                    .contains("the look-up service gave no page within 20 s"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
