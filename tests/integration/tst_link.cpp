// The real kestrel --headless against the loopback APRS-IS test server and
// zeno-host watch: the bytes on the wire, their timing, and what reaches the
// host.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <csignal>

namespace {

struct Link
{
    explicit Link(const QStringList &settings = {})
    {
        server.listen();
        s.writeSettings(
            QStringList{"APRS-IS Port=" + QString::number(server.port()), "Log Serv_Conn= 1"} +
            settings);
    }
    void start(const QStringList &extra = {})
    {
        kestrel = std::make_unique<Child>(programUnderTest("KESTREL_BIN"),
                                          QStringList{"--headless", "--connect", "--program-dir",
                                                      s.programDir(), "--mailbox", s.mailboxDir()} +
                                              extra);
    }
    QByteArray servConn() const
    {
        return TempStation::readFile(s.programFile("Logs_Kestrel/serv_conn.txt"));
    }
    TempStation s;
    AprsIsTestServer server;
    std::unique_ptr<Child> kestrel;
};

const QByteArray kMessage = "N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1IGT-10 :hello Test{01";

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!programUnderTest("KESTREL_BIN").isEmpty(), "run through ctest");
    }

    void everyProgramExplainsItself_data()
    {
        QTest::addColumn<QString>("program");
        for (const char *name : {"kestrel", "zeno-host", "aprsis-test-server", "http-test-server"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    // --help prints the usage and ends; it serves nothing.
    void everyProgramExplainsItself()
    {
        QFETCH(QString, program);
        const QString path =
            program == "zeno-host"
                ? programUnderTest("ZENO_HOST_BIN")
                : QFileInfo(programUnderTest("KESTREL_BIN")).dir().filePath(program);
        Child child(path, {"--help"});
        QCOMPARE(child.finish(), 0);
        QVERIFY(child.out().startsWith("Usage: "));
    }

    void relayLineAndLoginAreTimedFromTheBanner()
    {
        Link l({"Proxy Address=relay.example:23", "APRS Filter=r/49/-72/100"});
        l.start();
        QTRY_COMPARE_WITH_TIMEOUT(l.server.received().size(), 2, 8000);
        const auto &r = l.server.received();
        const QByteArray port = QByteArray::number(l.server.port());
        QCOMPARE(l.server.raw(), "127.0.0.1 " + port +
                                     "\r\nuser N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter "
                                     "r/49/-72/100\r\n");
        // Qt's coarse timers may fire up to 5 % early.
        const qint64 relayAfter = r[0].ms - l.server.bannerMs();
        const qint64 loginAfter = r[1].ms - l.server.bannerMs();
        QVERIFY2(relayAfter >= 1800 && relayAfter < 3000, qPrintable(QString::number(relayAfter)));
        QVERIFY2(loginAfter >= 3600 && loginAfter < 5500, qPrintable(QString::number(loginAfter)));
        QTRY_VERIFY(l.kestrel->out().contains("APRS-IS: CONNECTED TO: 127.0.0.1:" + port + "\n"));
        // Nothing more: the server's "# Invalid login command" for the relay
        // line brings no second one.
        QTest::qWait(2500);
        QCOMPARE(l.server.received().size(), 2);
        QVERIFY(l.server.clientConnected());
        l.kestrel->signal(SIGTERM);
        QCOMPARE(l.kestrel->finish(), 0);
    }

    void directLoginAtOnceWithAnEmptyFilter()
    {
        Link l({"APRS Filter="});
        l.start();
        QTRY_COMPARE_WITH_TIMEOUT(l.server.received().size(), 1, 5000);
        QCOMPARE(l.server.raw(),
                 QByteArray("user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter \r\n"));
        QVERIFY(l.server.received()[0].ms - l.server.bannerMs() < 500);
        QTest::qWait(2500);
        QCOMPARE(l.server.received().size(), 1);
        QVERIFY(l.servConn().contains(" CONNECTED TO: 127.0.0.1:"));
    }

    void unverifiedLoginLeavesReceiveOnly()
    {
        Link l({"Validation#=12345"});
        l.start();
        QTRY_VERIFY_WITH_TIMEOUT(
            l.kestrel->err().contains("Validation Number NOT valid!\r\nMode Only Receive."), 5000);
        QVERIFY(l.kestrel->out().contains("APRS-IS: DISCONNECTED\n"));
        QVERIFY(l.kestrel->out().contains(
            "Internet Packet List + Validation Number Error! * DISCONNECTED *\n"));
        QVERIFY(l.servConn().contains(" Validation Number Error! * DISCONNECTED *\r\n"));
        QTRY_VERIFY(!l.server.clientConnected());
        QTest::qWait(1000);
        QCOMPARE(l.server.connections(), 1);
    }

    void messageAcknowledgedOnTheWire()
    {
        Link l({"Answer YES/NO= 0"});
        l.start();
        QTRY_VERIFY_WITH_TIMEOUT(l.server.loggedIn(), 5000);
        const qsizetype before = l.server.raw().size();
        l.server.pushLines({kMessage});
        QTRY_COMPARE(l.server.raw().mid(before),
                     QByteArray("N1IGT-10>APKR02,APRS::N2XYZ-3  :ack01\r\n\r\n"));
    }

    void transmissionReachesTheHost()
    {
        Link l({"Log Inet_RF= 1", "IGate>RF Port=1", "Type All= 1"});
        Child watch(programUnderTest("ZENO_HOST_BIN"), {"--mailbox", l.s.mailboxDir(), "watch"});
        QTRY_VERIFY(watch.err().contains("watching"));
        l.start();
        QTRY_VERIFY_WITH_TIMEOUT(l.server.loggedIn(), 5000);
        QTest::qWait(300);
        const QByteArray line = "N1ABC-9>APRS,TCPIP*,qAC,T2:!4903.50N/07201.75W-Test over the air";
        l.server.pushLines({line, "N3DEF>APRS,TCPIP*,qAC,T2:>status text long enough to be sent"});
        QTRY_VERIFY_WITH_TIMEOUT(watch.out().contains("TXDATA :}" + line + "\n"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(watch.out().contains("TXDATA :}N3DEF>"), 5000);
    }

    void serverClosesAndTheLinkComesBack()
    {
        Link l;
        l.start();
        QTRY_VERIFY_WITH_TIMEOUT(l.server.loggedIn(), 5000);
        // Closed in the middle of a line: the piece is not a line.
        l.server.push("N1ABC-9>APRS,TCPIP*,qAC,T2::N1IGT-10 :half a mes");
        QTest::qWait(100);
        l.server.closeClient();
        const qint64 closed = l.server.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(l.server.connections(), 2, 20000);
        const qint64 after = l.server.elapsed() - closed;
        QVERIFY2(after > 14000 && after < 17000, qPrintable(QString::number(after)));
        QVERIFY(l.servConn().contains(" DISCONNECTED! * Trying again ...\r\n"));
        QVERIFY(l.kestrel->out().contains("Trying to Reconnect ...\n"));
        QTRY_VERIFY_WITH_TIMEOUT(l.server.loggedIn(), 5000);
        QVERIFY(!l.server.raw().contains("ack"));
    }

    void floodsAndGarbage()
    {
        Link l;
        qputenv("LC_ALL", "C.UTF-8"); // the terminal's encoding, for the bytes over 127
        l.start({"--list-all"});
        qunsetenv("LC_ALL");
        QTRY_VERIFY_WITH_TIMEOUT(l.server.loggedIn(), 5000);
        QByteArray junk =
            QByteArray(100 * 1024, 'x') + "\r\n" + QByteArray("N1ABC>APRS:\0\x80\xff!\r\n", 17);
        for (int i = 0; i < 5000; ++i)
            junk += "N1ABC-9>APRS,TCPIP*,qAC,T2:>flood " + QByteArray::number(i) + "\r\n";
        l.server.push(junk);
        QTRY_VERIFY_WITH_TIMEOUT(l.kestrel->out().contains("Internet Packet List + >flood 4999\n"),
                                 15000);
        QVERIFY(l.kestrel->out().contains("Not gated (overlong line): 1\n"));
        QVERIFY(l.kestrel->out().contains("Internet Packet List + \\x00\xc2\x80\xc3\xbf!\n"));
        l.kestrel->signal(SIGTERM);
        QCOMPARE(l.kestrel->finish(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
