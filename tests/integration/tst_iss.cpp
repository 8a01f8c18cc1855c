// The ISS object of the real kestrel --headless: SIGUSR1 runs the routine,
// the loopback look-up service answers, and the host's mailbox holds what
// goes on the air; the passes from the elements are in the output.

#include "support/fixtures.h"
#include "test-servers/httptestserver.h"

class TestIss : public QObject
{
    Q_OBJECT

private slots:
    void objectHandedToTheHost()
    {
        HttpTestServer web;
        QVERIFY(web.listen());
        web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        Headless h({"ISS Object= 1"});
        h.station.writeFile(h.station.programFile("services.ini"),
                            "[services]\naprs_lookup_host=" + web.host().toLatin1() + "\n");
        h.station.writeFile(h.station.programFile("elements.txt"), sample::kIssElements);
        qputenv("LC_ALL", "C.UTF-8"); // the terminal's encoding, for the "º"
        h.start({});
        qunsetenv("LC_ALL");
        QVERIFY(h.says("ISS frame: +ISS Position Object"));
        // The day's passes computed from the elements, each on a line.
        QVERIFY(h.says("\nNext pass: ISS "));
        QVERIFY(h.says("\nPasses: + ISS "));

        h.kestrel->signal(SIGUSR1);
        // The host is told to send once the object is in place.
        QVERIFY(QTest::qWaitFor(
            [&] { return h.station.mailboxValue("Command", "Command") == "/TXDATA/"; }, 5000));
        const QByteArray object = h.station.mailboxValue("TXData", "String");
        QCOMPARE(object.left(11), QByteArray(";ISS      *"));
        QCOMPARE(object.mid(17), QByteArray("h4957.50N\\07200.00WSInternational Space Station"));
        // Hours, minutes and seconds of UTC, within a few seconds of now.
        const QTime stamp = QTime::fromString(QString::fromLatin1(object.mid(11, 6)), "HHmmss");
        const int off = std::abs(stamp.secsTo(QDateTime::currentDateTimeUtc().time()));
        QVERIFY2(off < 10 || off > 86390, object); // midnight may pass between
        QCOMPARE(web.requests(), QList<QByteArray>{"GET /cgi-bin/find.cgi?ISS HTTP/1.1"});
        QVERIFY(h.says("ISS: 100km/62mi Az:1\xc2\xba El:75\xc2\xba\n"));
        QCOMPARE(h.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
