// The announcement of the real kestrel --headless at the APRS-IS server: the
// host's beacon, the status line with the record read from positions.txt,
// the bulletin, to the byte, and the "Inet Tx" count they leave. When they
// go is the link's rule, tested with a set clock.

#include "support/fixtures.h"

class TestAnnounce : public QObject
{
    Q_OBJECT

private slots:
    void oneAnnouncementToTheByte()
    {
        Headless h({"Inet Beacon= 1", "Add DX= 1", "SendBull= 1", "Bulletin Text=Net at 2000",
                    "Interval=600", "IGate>RF Port=1"});
        h.station.writeFile(h.station.programFile("positions.txt"), "N7FAR-1   120.5km 90\xb0\r\n");
        h.start();
        QVERIFY(h.loggedIn());
        // The first announcement is ten ticks of a second after the login.
        const QByteArray head = "N1IGT-10>APKR02,APRS:";
        QVERIFY(h.serverGot(head + ":BLN      :Net at 2000", 15000));
        QCOMPARE(h.server.raw(), sample::kLogin + "\r\n" + head +
                                     "!4903.50N\\07201.75W-Test beacon\r\n" + head +
                                     ">Test IGate DX:N7FAR-1   120.5km 90\xb0\r\n" + head +
                                     ":BLN      :Net at 2000\r\n");
        // Beacon, status with a record and bulletin count one each.
        QVERIFY(h.says("Statistics Inet Tx: 3\n"));
        QCOMPARE(h.stop(), 0);
        // For a journal: a line at the start and at the end, none for the
        // seconds that tick.
        const QByteArray out = h.kestrel->out();
        QVERIFY(out.startsWith("Kestrel "));
        QVERIFY(out.endsWith("\nKestrel ends with status 0: stopped by SIGTERM\n"));
        QCOMPARE(out.count("Inet to RF: "), 1);
    }
};

QTEST_GUILESS_MAIN(TestAnnounce)
#include "tst_announce.moc"
