// The announcements of the real kestrel --headless at the loopback APRS-IS
// test server: when they go after the login, what each one carries, and the
// "Inet Tx" count they leave. Stations run side by side, as every
// announcement waits ten seconds for its first turn.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QProcess>
#include <QTest>
#include <csignal>
#include <memory>

namespace {

const QByteArray kHead = "N1IGT-10>APKR02,APRS:";
const QByteArray kBeacon = "!4903.50N\\07201.75W-Test beacon";

struct Station
{
    explicit Station(const QStringList &settings)
    {
        server.listen();
        s.writeSettings(QStringList{"APRS-IS Port=" + QString::number(server.port())} + settings);
    }
    void start()
    {
        kestrel = std::make_unique<Child>(programUnderTest("KESTREL_BIN"),
                                          QStringList{"--headless", "--connect", "--program-dir",
                                                      s.programDir(), "--mailbox", s.mailboxDir()});
    }
    // Ends the program and takes in whatever it still had on the way.
    int stop()
    {
        kestrel->signal(SIGTERM);
        const int status = kestrel->finish();
        QTest::qWait(200);
        return status;
    }
    // The information of each announced line, in order.
    QList<QByteArray> announced() const
    {
        QList<QByteArray> out;
        for (const QByteArray &line : server.lines())
            if (line.startsWith(kHead))
                out << line.mid(kHead.size());
        return out;
    }
    // When each line with this information came, counted from the login.
    QList<qint64> times(const QByteArray &information) const
    {
        QList<qint64> out;
        const auto &r = server.received();
        for (const auto &line : r)
            if (line.line == kHead + information)
                out << line.ms - r.first().ms;
        return out;
    }
    // The last "Inet Tx" count the program printed, 0 before any.
    int inetTx()
    {
        const QByteArray out = kestrel->out();
        const qsizetype at = out.lastIndexOf("Statistics Inet Tx: ");
        return at < 0 ? 0 : out.mid(at + 20, out.indexOf('\n', at) - at - 20).toInt();
    }
    TempStation s;
    AprsIsTestServer server;
    std::unique_ptr<Child> kestrel;
};

QByteArray listed(const QList<qint64> &t)
{
    QByteArray out;
    for (qint64 ms : t)
        out += QByteArray::number(ms) + ' ';
    return out;
}

} // namespace

class TestAnnounce : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!programUnderTest("KESTREL_BIN").isEmpty(), "run through ctest");
    }

    // Ten ticks after the login whatever the interval; after that every
    // Interval ticks, and every tick for an interval of 0 or of no number.
    void firstAfterTenTicksThenEveryInterval()
    {
        const QStringList on = {"Inet Beacon= 1", "SendBull= 1", "Bulletin Text=Net at 2000"};
        Station every3(on + QStringList{"Interval=3"});
        Station every0(on + QStringList{"Interval=0"});
        Station noNumber(on + QStringList{"Interval=abc"});
        Station slow(on + QStringList{"Interval=600"});
        const QList<Station *> all = {&every3, &every0, &noNumber, &slow};
        for (Station *st : all)
            st->start();
        for (Station *st : all)
            QTRY_VERIFY_WITH_TIMEOUT(st->server.loggedIn(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(every3.times(kBeacon).size() >= 3, 22000);

        // Coarse timers may fire a little early or late each tick.
        const QList<qint64> t3 = every3.times(kBeacon);
        QVERIFY2(t3[0] >= 9000 && t3[0] < 11500, listed(t3));
        QVERIFY2(t3[1] - t3[0] >= 2500 && t3[1] - t3[0] < 3600, listed(t3));
        QVERIFY2(t3[2] - t3[1] >= 2500 && t3[2] - t3[1] < 3600, listed(t3));
        QCOMPARE(every3.announced().mid(0, 6),
                 QList<QByteArray>({kBeacon, ">Test IGate", ":BLN      :Net at 2000", kBeacon,
                                    ">Test IGate", ":BLN      :Net at 2000"}));

        for (Station *st : {&every0, &noNumber}) {
            const QList<qint64> t = st->times(kBeacon);
            QVERIFY2(t.size() >= 5, listed(t));
            QVERIFY2(t[0] >= 9000 && t[0] < 11500, listed(t));
            for (qsizetype i = 1; i < t.size(); ++i)
                QVERIFY2(t[i] - t[i - 1] >= 500 && t[i] - t[i - 1] < 1500, listed(t));
        }
        const QList<qint64> once = slow.times(kBeacon);
        QCOMPARE(once.size(), 1);
        QVERIFY2(once[0] >= 9000 && once[0] < 11500, listed(once));

        // Beacon and bulletin count; the status line does not.
        for (Station *st : all) {
            QCOMPARE(st->stop(), 0);
            QCOMPARE(st->announced().size(), 3 * st->times(kBeacon).size());
            QCOMPARE(st->inetTx(), 2 * st->times(kBeacon).size());
        }
    }

    // One announcement per station: which lines go, in order and to the byte,
    // and how far the "Inet Tx" count moves.
    void whatEachAnnouncementCarries()
    {
        const QByteArray positions =
            "N7NEAR-1  5.0km 270\xb0\r\nN7FAR-1   120.5km 90\xb0\r\nN7MID-1   20.0km 180\xb0\r\n";
        const QStringList all = {"Inet Beacon= 1", "Add DX= 1", "SendBull= 1",
                                 "Bulletin Text=Net at 2000"};
        const QByteArray bulletin = ":BLN      :Net at 2000";

        Station withDx(all);
        withDx.s.writeFile(withDx.s.programFile("positions.txt"), positions);
        Station noRecord(all);
        Station dxOff(all + QStringList{"Add DX= 0"});
        dxOff.s.writeFile(dxOff.s.programFile("positions.txt"), positions);
        Station bulletinOnly(all + QStringList{"Inet Beacon= 0"});
        bulletinOnly.s.writeFile(bulletinOnly.s.programFile("positions.txt"), positions);
        // A host without a beacon text: the station has no position to send.
        Station noBeacon(all + QStringList{"Status Text=", "Bulletin Text=QST"});
        noBeacon.s.writeFile(noBeacon.s.hostDir() + "/Zeno.ini",
                             "[General]\r\nCallsign=N1IGT-10\r\n");
        Station heard({"Inet Beacon= 1", "Add DX= 1"});
        // The server answers the wrong passcode "unverified": receive only.
        Station rejected(all + QStringList{"Validation#=12345"});

        const QList<Station *> sending = {&withDx,       &noRecord, &dxOff,
                                          &bulletinOnly, &noBeacon, &heard};
        for (Station *st : sending + QList<Station *>{&rejected})
            st->start();
        for (Station *st : sending)
            QTRY_VERIFY_WITH_TIMEOUT(st->server.loggedIn(), 5000);

        // A station heard on RF, 10' north of the own beacon.
        QProcess rx;
        rx.start(programUnderTest("ZENO_HOST_BIN"),
                 {"--mailbox", heard.s.mailboxDir(), "rx",
                  " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=33 >[14:00:05]\\r"
                  "!4913.50N/07201.75W-North of here"});
        QVERIFY(rx.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(heard.kestrel->out().contains("DX: N1ABC-7"), 5000);

        for (Station *st : sending)
            QTRY_VERIFY_WITH_TIMEOUT(!st->announced().isEmpty(), 14000);
        QTest::qWait(1500);
        for (Station *st : sending + QList<Station *>{&rejected})
            QCOMPARE(st->stop(), 0);

        QCOMPARE(withDx.announced(),
                 QList<QByteArray>({kBeacon, ">Test IGate DX:N7FAR-1   120.5km 90\xb0", bulletin}));
        QCOMPARE(withDx.inetTx(), 3);
        // "Add DX" counts whether or not there is a record to add.
        QCOMPARE(noRecord.announced(), QList<QByteArray>({kBeacon, ">Test IGate", bulletin}));
        QCOMPARE(noRecord.inetTx(), 3);
        QCOMPARE(dxOff.announced(), QList<QByteArray>({kBeacon, ">Test IGate", bulletin}));
        QCOMPARE(dxOff.inetTx(), 2);
        QCOMPARE(bulletinOnly.announced(), QList<QByteArray>({bulletin}));
        QCOMPARE(bulletinOnly.inetTx(), 1);
        QCOMPARE(noBeacon.announced(), QList<QByteArray>({">", ":BLN      :QST"}));
        QCOMPARE(noBeacon.inetTx(), 2);
        // The record is the station's row in the positions list.
        const QByteArray row =
            TempStation::readFile(heard.s.programFile("positions.txt")).split('\r').first();
        QVERIFY2(row.startsWith("N1ABC-7   ") && row.contains("km "), row);
        QCOMPARE(heard.announced(), QList<QByteArray>({kBeacon, ">Test IGate DX:" + row}));
        QCOMPARE(heard.inetTx(), 2);

        // Receive only: the login and nothing after it, no count.
        QCOMPARE(rejected.server.received().size(), 1);
        QVERIFY(rejected.server.received()[0].line.startsWith("user N1IGT-10 pass 12345 "));
        QVERIFY(rejected.kestrel->out().contains("APRS-IS: DISCONNECTED\n"));
        QVERIFY(!rejected.kestrel->out().contains("Inet Tx"));
        QVERIFY(!rejected.kestrel->out().contains(kHead));
    }
};

QTEST_GUILESS_MAIN(TestAnnounce)
#include "tst_announce.moc"
