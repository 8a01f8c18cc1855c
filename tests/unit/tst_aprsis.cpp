// The APRS-IS link on real loopback sockets, with the gateway in-process:
// what only the window shows (state texts, lists, counters) and what the
// server receives.

#include "aprsis/announcer.h"
#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "test-servers/aprsistestserver.h"
#include "support/tempstation.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

namespace {
const QByteArray kMessage = "N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1IGT-10 :hello Test{7";

struct Station
{
    explicit Station(const QStringList &settings = {})
    {
        server.listen();
        s.writeSettings(
            QStringList{"APRS-IS Port=" + QString::number(server.port()), "Log Serv_Conn= 1"} +
            settings);
        gateway.start();
        gateway.mailbox().flush();
    }
    // Connects and waits for the login.
    void logIn()
    {
        gateway.connectCommand();
        QTRY_VERIFY(server.loggedIn());
        QTRY_VERIFY(gateway.link().loggedIn());
        QTest::qWait(50);
    }
    QByteArray log(const QString &name) const
    {
        return TempStation::readFile(s.programFile("Logs_Kestrel/" + name));
    }
    TempStation s;
    AprsIsTestServer server;
    mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
    Clock clock;
    Gateway gateway{ProgramFolder(s.programDir()), store, clock};
};
// errors.txt without the word and the stamp of each line.
QStringList errorLines(const Station &st)
{
    QStringList lines;
    for (const QString &line :
         QString::fromLatin1(TempStation::readFile(st.s.programFile("errors.txt")))
             .split("\r\n", Qt::SkipEmptyParts))
        lines << line.section(u' ', 3);
    return lines;
}
} // namespace

class TestAprsIs : public QObject
{
    Q_OBJECT

private slots:
    void linesAreReassembled()
    {
        LineAssembler a;
        QCOMPARE(a.feed("one\r\ntwo\r\nthr"), QList<QByteArray>({"one", "two"}));
        QCOMPARE(a.feed("ee\r"), QList<QByteArray>({"three"}));
        QCOMPARE(a.feed("\nfour\nfive\rsix"), QList<QByteArray>({"four", "five"}));
        QCOMPARE(a.feed(QByteArray("\0\xff\r\n", 4)),
                 QList<QByteArray>({QByteArray("six\0\xff", 5)}));
        // Too long, in pieces: dropped whole, counted once, and the next line is whole.
        QVERIFY(a.feed(QByteArray(3000, 'x')).isEmpty());
        QVERIFY(a.feed(QByteArray(3000, 'y')).isEmpty());
        QCOMPARE(a.feed("zz\r\nnext\r\n"), QList<QByteArray>({"next"}));
        QCOMPARE(a.overlong(), 1);
        QCOMPARE(a.feed(QByteArray(LineAssembler::kMaxLine, 'm') + "\r\n").size(), 1);
    }

    void passcodes()
    {
        QCOMPARE(AprsIsTestServer::passcode("N0CALL"), 13023);
        QCOMPARE(AprsIsTestServer::passcode("N1CALL"), 13022);
        QCOMPARE(AprsIsTestServer::passcode("N1ABC-9"), 16273);
        QCOMPARE(AprsIsTestServer::passcode("n2xyz"), 16265);
        QCOMPARE(AprsIsTestServer::passcode("N1IGT-10"), 8340);
    }

    void directLoginOnTheBanner()
    {
        Station st({"APRS Filter=", "Interval=600"});
        QCOMPARE(st.gateway.texts().text(StateTexts::Connections), QStringLiteral("0"));
        st.gateway.connectCommand();
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectionState),
                 QStringLiteral("Connecting ..."));
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectCaption), QStringLiteral("Disconnect"));
        QTRY_VERIFY(st.gateway.link().loggedIn());
        QTRY_COMPARE(st.server.lines(),
                     QList<QByteArray>({"user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter "}));
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectionState),
                 "CONNECTED TO: 127.0.0.1:" + QString::number(st.server.port()));
        QCOMPARE(st.gateway.announcer().secondsToAnnouncement(), 590);
        QVERIFY(st.gateway.timer("Timer2").isActive());
        QVERIFY(st.log("serv_conn.txt")
                    .endsWith(" CONNECTED TO: 127.0.0.1:" + QByteArray::number(st.server.port()) +
                              "\r\n"));
        // The relay command armed by the banner finds the login done.
        st.gateway.timer4Tick();
        QTest::qWait(100);
        QCOMPARE(st.server.lines().size(), 1);
        QCOMPARE(st.server.connections(), 1);
        QCOMPARE(st.gateway.texts().text(StateTexts::Connections), QStringLiteral("1"));
        st.gateway.connectCommand();
        QCOMPARE(st.gateway.texts().text(StateTexts::Connections), QStringLiteral("2"));
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectionState),
                 QStringLiteral("DISCONNECTED"));
        QVERIFY(st.log("serv_conn.txt").endsWith(" DISCONNECTED\r\n"));
    }

    void relayCommandThenLogin()
    {
        Station st({"Proxy Address=127.0.0.1:9", "Interval=15"});
        st.gateway.connectCommand();
        QTRY_VERIFY(st.gateway.timer("Timer4").isActive());
        QTest::qWait(100);
        QVERIFY(st.server.lines().isEmpty());
        st.gateway.timer4Tick();
        QTRY_COMPARE(st.server.lines().size(), 1);
        QCOMPARE(st.server.lines()[0], "127.0.0.1 " + QByteArray::number(st.server.port()));
        QVERIFY(st.gateway.timer("Timer5").isActive());
        QVERIFY(st.gateway.timer("Timer2").isActive());
        st.gateway.timer5Tick();
        QTRY_COMPARE(st.server.lines().size(), 2);
        QVERIFY(st.server.lines()[1].startsWith(
            "user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter r/49/-72/100"));
        QCOMPARE(st.gateway.announcer().secondsToAnnouncement(), 5);
        // The server answered the relay line "# Invalid login command"; that
        // brings no second relay line, which would make it close the link.
        QTest::qWait(100);
        st.gateway.timer4Tick();
        QTest::qWait(100);
        QCOMPARE(st.server.lines().size(), 2);
        QVERIFY(st.server.clientConnected());
    }

    void disconnectingStopsThePendingSenders()
    {
        Station st({"Proxy Address=127.0.0.1:9"});
        st.gateway.connectCommand();
        QTRY_VERIFY(st.gateway.timer("Timer4").isActive());
        st.gateway.connectCommand();
        QVERIFY(!st.gateway.timer("Timer4").isActive());
        QVERIFY(!st.gateway.timer("Timer5").isActive());
        st.gateway.timer5Tick();
        QTest::qWait(200);
        QVERIFY(st.server.lines().isEmpty());
    }

    void addressThatCannotWork_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port"); // "server": the test server's
        QTest::addColumn<QString>("relay");
        QTest::addColumn<bool>("triedAgain");
        QTest::newRow("empty host") << ""
                                    << "server"
                                    << "" << false;
        QTest::newRow("port not a number") << "127.0.0.1"
                                           << "14580x"
                                           << "" << false;
        QTest::newRow("name that does not resolve") << "nowhere.invalid"
                                                    << "server"
                                                    << "" << false;
        QTest::newRow("relay port not a number") << ""
                                                 << ""
                                                 << "127.0.0.1:x" << false;
        QTest::newRow("relay that does not resolve") << ""
                                                     << ""
                                                     << "relay.invalid:23" << false;
        // A network failure is no fault of the address.
        QTest::newRow("refused") << "127.0.0.1"
                                 << "1"
                                 << "" << true;
    }

    void addressThatCannotWork()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, relay);
        QFETCH(bool, triedAgain);
        Station st;
        Gateway &g = st.gateway;
        if (!relay.isEmpty()) {
            g.settings().setText(F::ProxyAddress, relay);
            g.settings().setCheck(F::ProxyYesNo, true);
        } else {
            g.settings().setText(F::AprsIsHost, host);
            if (port != "server")
                g.settings().setText(F::AprsIsPort, port);
        }
        g.connectCommand();
        QTRY_VERIFY(g.timer("Timer8").isActive() ||
                    g.texts().text(StateTexts::ConnectCaption) == QStringLiteral("Connect"));
        QTest::qWait(100);
        QCOMPARE(g.timer("Timer8").isActive(), triedAgain);
        if (triedAgain)
            return;
        QCOMPARE(g.texts().text(StateTexts::ConnectionState), QStringLiteral("DISCONNECTED"));
        QVERIFY(!g.timer("Timer9").isActive());
        QCOMPARE(st.log("serv_conn.txt").count(" ERROR CON_DES>\r\n"), 1);
        QVERIFY(!st.log("serv_conn.txt").contains("Trying again"));
        QCOMPARE(st.server.connections(), 0);
    }

    void unverifiedLogin()
    {
        Station st({"Validation#=-1"});
        QSignalSpy notice(&st.gateway, &Gateway::notice);
        st.gateway.connectCommand();
        QTRY_COMPARE(notice.size(), 1);
        QCOMPARE(notice[0][0].toString(),
                 QStringLiteral("Validation Number NOT valid!\r\nMode Only Receive."));
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectionState),
                 QStringLiteral("DISCONNECTED"));
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectCaption), QStringLiteral("Connect"));
        QVERIFY(st.gateway.link().receiveOnly());
        QCOMPARE(st.gateway.internetList().rows().last(),
                 QStringLiteral("Validation Number Error! * DISCONNECTED *"));
        QVERIFY(st.log("serv_conn.txt").endsWith(" Validation Number Error! * DISCONNECTED *\r\n"));
        // Not tried again.
        QVERIFY(!st.gateway.timer("Timer8").isActive());
        QTRY_VERIFY(!st.server.clientConnected());

        // Refused again: said once. With the right passcode errors.txt says
        // when the server took it, not when the login went out.
        st.gateway.connectCommand();
        QTRY_COMPARE(notice.size(), 2);
        st.gateway.settings().setText(F::ValidationNumber, "8340");
        st.gateway.connectCommand();
        QTRY_VERIFY(st.server.loggedIn());
        const QString server = "127.0.0.1:" + QString::number(st.server.port());
        QTRY_COMPARE(errorLines(st),
                     QStringList({server + " answered the login of N1IGT-10 \"unverified\": "
                                           "receiving only; check Validation#",
                                  server + " verified the login of N1IGT-10"}));
    }

    void packetsMentioningTheLoginAreJustPackets()
    {
        Station st;
        st.logIn();
        st.server.pushLines({"N1ABC-9>APRS,TCPIP*,qAC,T2:>blog: my logresp was unverified",
                             "# logresp N9ZZZ unverified, server TEST0"});
        QTest::qWait(200);
        QVERIFY(st.gateway.link().loggedIn());
        QVERIFY(!st.gateway.link().receiveOnly());
    }

    void lostLinkIsNoticedAndTriedAgain()
    {
        Station st;
        st.logIn();
        st.server.closeClient();
        QTRY_VERIFY(st.gateway.timer("Timer8").isActive());
        st.gateway.timer8Tick();
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectionState),
                 QStringLiteral("DISCONNECTED"));
        QVERIFY(st.gateway.link().reconnectNoticeVisible());
        QVERIFY(st.gateway.timer("Timer9").isActive());
        QVERIFY(st.log("serv_conn.txt").endsWith(" DISCONNECTED! * Trying again ...\r\n"));
        st.gateway.timer9Tick();
        QTRY_COMPARE(st.server.connections(), 2);
        QTRY_VERIFY(st.gateway.link().loggedIn());

        // A server that says nothing at all is a lost link too.
        st.gateway.link().setSilenceMs(300);
        st.server.setSilent(true);
        QTRY_VERIFY(st.gateway.timer("Timer8").isActive());
    }

    void operatorOverridesAPendingTeardown()
    {
        Station st;
        st.logIn();
        st.server.closeClient();
        QTRY_VERIFY(st.gateway.timer("Timer8").isActive());
        // Disconnect while the teardown waits: it does not come.
        st.gateway.connectCommand();
        QVERIFY(!st.gateway.timer("Timer8").isActive());
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectCaption), QStringLiteral("Connect"));
        // Connect again: the new link stays.
        st.gateway.connectCommand();
        QTRY_VERIFY(st.gateway.link().loggedIn());
        QVERIFY(!st.gateway.timer("Timer8").isActive());
    }

    void aLinkTakenForLostIsClosed()
    {
        Station st;
        st.logIn();
        st.gateway.link().setSilenceMs(300);
        st.server.setSilent(true);
        QTRY_VERIFY(st.gateway.timer("Timer8").isActive());
        // The server wakes up: nothing more is sent on that link, no second login.
        st.server.setSilent(false);
        st.server.pushLines({"N1ABC-9>APRS,TCPIP*,qAC,T2:>still here"});
        QTest::qWait(300);
        QCOMPARE(st.server.lines().size(), 1);
        QTRY_VERIFY(!st.server.clientConnected());
        // Bytes without a line end are no sign of life.
        Station garble;
        garble.logIn();
        garble.gateway.link().setSilenceMs(400);
        for (int i = 0; i < 6; ++i) {
            garble.server.push(QByteArray(100, 'z'));
            QTest::qWait(100);
        }
        QTRY_VERIFY(garble.gateway.timer("Timer8").isActive());
    }

    void connectDuringTheReconnectPause()
    {
        Station st;
        st.logIn();
        st.server.closeClient();
        QTRY_VERIFY(st.gateway.timer("Timer8").isActive());
        st.gateway.timer8Tick();
        st.gateway.connectCommand();
        QVERIFY(!st.gateway.timer("Timer9").isActive());
        QVERIFY(!st.gateway.link().reconnectNoticeVisible());
        QTRY_VERIFY(st.gateway.link().loggedIn());
        QTest::qWait(100);
        QCOMPARE(st.gateway.texts().text(StateTexts::ConnectCaption), QStringLiteral("Disconnect"));
    }

    void messageIsAcknowledgedAndAnswered()
    {
        Station st({"Answer YES/NO= 1", "Log Msgs= 1"});
        st.logIn();
        const int before = st.server.lines().size();
        st.server.pushLines({kMessage});
        QTRY_COMPARE(st.server.lines().size(), before + 3);
        QCOMPARE(
            st.server.lines().mid(before),
            QList<QByteArray>({"N1IGT-10>APKR02,APRS::N2XYZ-3  :ack7", "",
                               "N1IGT-10>APKR02,APRS::N2XYZ-3  :Only RF to Internet Service!"}));
        QCOMPARE(st.gateway.texts().count(StateTexts::InetTx), 1);
        QVERIFY(st.log("incoming_msgs.txt").endsWith(" " + kMessage + "\r\n"));

        // A repeat is ignored; a message to another SSID is not ours; one
        // without a number gets nothing.
        st.server.pushLines({kMessage, QByteArray(kMessage).replace("N1IGT-10 ", "N1IGT-1  "),
                             "N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1IGT-10 :no number here"});
        QTest::qWait(300);
        QCOMPARE(st.server.lines().size(), before + 3);
    }

    void gluedMessagesGetAnAckEach()
    {
        for (const bool listAll : {false, true}) {
            Station st;
            st.gateway.setListAllPackets(listAll);
            st.logIn();
            const int before = st.server.lines().size();
            st.server.push(kMessage + "\r\n" + QByteArray(kMessage).replace("{7", "{8") + "\r\n");
            QTRY_COMPARE(st.server.lines().size(), before + 4);
            QCOMPARE(st.server.lines()[before], "N1IGT-10>APKR02,APRS::N2XYZ-3  :ack7");
            QCOMPARE(st.server.lines()[before + 2], "N1IGT-10>APKR02,APRS::N2XYZ-3  :ack8");
        }
    }

    void nothingButTheLoginBeforeTheLogin()
    {
        Station st({"Proxy Address=127.0.0.1:9"});
        st.gateway.connectCommand();
        QTRY_VERIFY(st.gateway.timer("Timer4").isActive());
        st.server.pushLines({kMessage});
        QTest::qWait(200);
        QVERIFY(st.server.lines().isEmpty());
        QCOMPARE(st.gateway.refusals().count(Refusal::BeforeLogin), 1);
    }

    void internetToRfGate()
    {
        Station st({"Log Inet_RF= 1", "IGate>RF Port=2", "Packets/min=6", "Type Message= 1"});
        st.logIn();
        Gateway &g = st.gateway;
        const QString msg = "N2XYZ-3>APRS,TCPIP*,qAC,T2::N3ABC    :hi there{1";
        QVERIFY(msg.size() > 40);
        for (int i = 0; i < 6; ++i)
            g.inetRfGate().gate(msg, u':');
        QCOMPARE(g.texts().count(StateTexts::InetToRf), 5);
        QCOMPARE(g.refusals().count(Refusal::RateLimit), 1);
        g.timer2Tick();
        QVERIFY(g.texts().text(StateTexts::InetToRfStatus).startsWith("RF Limit! Time:"));
        g.mailbox().flush();
        QCOMPARE(st.s.mailboxValue("TXData", "String"), ":}" + msg.toLatin1());
        QVERIFY(st.log("Inet_RF.txt")
                    .startsWith("Port:2 N1IGT-10>APKR02:\r\n}" + msg.toLatin1() + "\r\n"));
        // After the 60th tick the count starts again.
        for (int i = 0; i < 60; ++i)
            g.timer2Tick();
        QCOMPARE(g.inetRfGate().packetsThisMinute(), 0);
        QVERIFY(g.texts().text(StateTexts::InetToRfStatus).startsWith("Packets:0 Time:"));

        // 40 characters are never a candidate; a position is not a message;
        // a "#" line or a station heard on RF never goes out.
        const qint64 sent = g.texts().count(StateTexts::InetToRf);
        g.inetRfGate().gate(msg.left(40), u':');
        QCOMPARE(g.inetRfGate().gate("N2XYZ-3>APRS,TCPIP*,qAC,T2:!4903.50N/07201.75W-", u'!'),
                 InetToRfGate::Outcome::TypeRejected);
        g.settings().setCheck(F::TypeAll, true);
        g.inetRfGate().gate("# aprsc 2.1.21- 6 Dec 2026 09:40:52 GMT TEST0 127.0.0.1:14580 x>y",
                            u' ');
        g.mheardList().append("N2XYZ-3   06-12-26 14:00:00 ");
        g.inetRfGate().gate(msg, u':');
        g.inetRfGate().gate("N4DEF>APRS,TCPIP*,N1IGT-10,qAR,T2::N3ABC    :hi there{1", u':');
        g.inetRfGate().gate("N4DEF>APRS,NOGATE,qAR,T2::N3ABC    :hi there, once more{1", u':');
        QCOMPARE(g.texts().count(StateTexts::InetToRf), sent);
        QCOMPARE(g.refusals().count(Refusal::LoopGuard), 3);
        QCOMPARE(g.refusals().count(Refusal::ServerComment), 1);

        // Log Inet_RF switches the whole path.
        g.settings().setCheck(F::LogInetRf, false);
        g.inetRfGate().gate("N5GHI>APRS,TCPIP*,qAC,T2::N3ABC    :hi there from afar{1", u':');
        QCOMPARE(g.texts().count(StateTexts::InetToRf), sent);
    }

    void candidatesAndTypes()
    {
        Station st({"Log Inet_RF= 1", "IGate>RF Port=1", "Type Bulletin= 1"});
        Gateway &g = st.gateway;
        using O = InetToRfGate::Outcome;
        // 41 characters can go, 40 never.
        const QString bulletin41 = "N2XYZ-3>APRS,TCPIP*,qAC,T2::BLN1     :Hi!";
        QCOMPARE(bulletin41.size(), 41);
        QCOMPARE(g.inetRfGate().gate(bulletin41.left(40), u':'), O::GoOn);
        QCOMPARE(g.texts().count(StateTexts::InetToRf), 0);
        QCOMPARE(g.inetRfGate().gate(bulletin41, u':'), O::GoOn);
        QCOMPARE(g.texts().count(StateTexts::InetToRf), 1);
        // A message holding "BLN" is no message, but it is a bulletin.
        g.settings().setCheck(F::TypeBulletin, false);
        g.settings().setCheck(F::TypeMessage, true);
        QCOMPARE(
            g.inetRfGate().gate("N2XYZ-3>APRS,TCPIP*,qAC,T2::N3ABC    :BLN is a bulletin", u':'),
            O::TypeRejected);
        // Only "=", "!" and "`" are positions here; "@" is not.
        g.settings().setCheck(F::TypePosition, true);
        QCOMPARE(
            g.inetRfGate().gate("N2XYZ-3>APRS,TCPIP*,qAC,T2:@092345z4903.50N/07201.75W-", u'@'),
            O::TypeRejected);
        QCOMPARE(g.inetRfGate().gate("N2XYZ-3>APRS,TCPIP*,qAC,T2:`(_fn\"Oj/]Mic-E station", u'`'),
                 O::GoOn);
        QCOMPARE(g.texts().count(StateTexts::InetToRf), 2);
        // Transmit port 0: "Disabled" on every tick, nothing counted.
        g.settings().setText(F::IGateRfPort, "0");
        g.inetRfGate().gate("N2XYZ-3>APRS,TCPIP*,qAC,T2:!4903.50N/07201.75W-Disabled port", u'!');
        QCOMPARE(g.inetRfGate().packetsThisMinute(), 2);
        g.timer2Tick();
        QCOMPARE(g.texts().text(StateTexts::InetToRfStatus), QStringLiteral("Disabled"));
    }

    void announcementsTenTicksAfterTheLogin()
    {
        Station st({"Interval=15", "Inet Beacon= 1", "Add DX= 1", "SendBull= 1",
                    "Status Text=Kestrel on the air", "Bulletin Text=ISS digi active"});
        st.logIn();
        Gateway &g = st.gateway;
        g.timer("Timer2").stop(); // the test is the clock
        g.texts().set(StateTexts::DxText, "N1ABC-7   1234.5km 45\u00b0");
        const int before = st.server.lines().size();
        for (int i = 0; i < 9; ++i)
            g.timer2Tick();
        QTest::qWait(100);
        QCOMPARE(st.server.lines().size(), before);
        g.timer2Tick();
        QTRY_COMPARE(st.server.lines().size(), before + 3);
        QCOMPARE(
            st.server.lines().mid(before),
            QList<QByteArray>(
                {"N1IGT-10>APKR02,APRS:!4903.50N\\07201.75W-Test beacon",
                 QString("N1IGT-10>APKR02,APRS:>Kestrel on the air DX:N1ABC-7   1234.5km 45\u00b0")
                     .toLatin1(),
                 "N1IGT-10>APKR02,APRS::BLN      :ISS digi active"}));
        QCOMPARE(g.texts().count(StateTexts::InetTx), 3);
        QCOMPARE(g.announcer().secondsToAnnouncement(), 0);
        // Then every Interval ticks; nothing in receive-only mode.
        g.link().loginRejected();
        for (int i = 0; i < 30; ++i)
            g.timer2Tick();
        QTest::qWait(100);
        QCOMPARE(st.server.lines().size(), before + 3);
    }

    void announcementLines_data()
    {
        QTest::addColumn<QStringList>("set"); // "Field=value"; checks as "1"
        QTest::addColumn<QString>("dx");
        QTest::addColumn<QStringList>("lines"); // information fields, then each Inet Tx step
        QTest::addColumn<QList<int>>("inetTx");
        const QStringList all = {"InetBeacon=1",      "AddDx=1",
                                 "SendBull=1",        "BulletinText=Net",
                                 "StatusText=On air", "InternetBeaconText=!4903.50N/07201.75W#"};
        QTest::newRow("all, with a record")
            << all << "N7FAR-1   120.5km 90"
            << QStringList{"!4903.50N/07201.75W#", ">On air DX:N7FAR-1   120.5km 90",
                           ":BLN      :Net"}
            << QList<int>{1, 1, 1};
        QTest::newRow("Add DX counts without a record")
            << all << "" << QStringList{"!4903.50N/07201.75W#", ">On air", ":BLN      :Net"}
            << QList<int>{1, 1, 1};
        QTest::newRow("Add DX off")
            << all + QStringList{"AddDx=0"} << "N7FAR-1"
            << QStringList{"!4903.50N/07201.75W#", ">On air", ":BLN      :Net"}
            << QList<int>{1, 0, 1};
        QTest::newRow("no position of our own")
            << all + QStringList{"InternetBeaconText=", "StatusText="} << ""
            << QStringList{">", ":BLN      :Net"} << QList<int>{1, 1};
        QTest::newRow("bulletin only") << all + QStringList{"InetBeacon=0"} << "N7FAR-1"
                                       << QStringList{":BLN      :Net"} << QList<int>{1};
        QTest::newRow("nothing") << QStringList{} << "" << QStringList{} << QList<int>{};
    }
    void announcementLines()
    {
        QFETCH(QStringList, set);
        QFETCH(QString, dx);
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, inetTx);
        Settings s;
        const QMetaEnum fields = QMetaEnum::fromType<Settings::Field>();
        for (const QString &kv : set) {
            const auto f = static_cast<Settings::Field>(
                fields.keyToValue(kv.section(u'=', 0, 0).toLatin1().constData()));
            if (Settings::info(f).kind == Settings::Kind::Check)
                s.setCheck(f, kv.section(u'=', 1) == QLatin1String("1"));
            else
                s.setText(f, kv.section(u'=', 1));
        }
        QStringList got;
        QList<int> counts;
        for (const AnnouncementLine &l : kestrel::announcementLines(s, dx)) {
            got << l.information;
            counts << l.inetTx;
        }
        QCOMPARE(got, lines);
        QCOMPARE(counts, inetTx);

        s.setText(Settings::OwnCall, "N1IGT-10");
        s.setText(Settings::ValidationNumber, "8340");
        s.setText(Settings::AprsFilter, "r/48/11/50");
        QCOMPARE(
            loginLine(s),
            QStringLiteral("user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter r/48/11/50\r\n"));
    }

    void messagesToTheGatewayStayOffTheAir_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("type not chosen") << "Type Position= 1" << Refusal::TypeFilter;
        QTest::newRow("messages chosen") << "Type Message= 1" << Refusal::ToOwnCall;
        QTest::newRow("all chosen") << "Type All= 1" << Refusal::ToOwnCall;
    }

    // Acknowledged and answered on APRS-IS, never sent to RF.
    void messagesToTheGatewayStayOffTheAir()
    {
        QFETCH(QString, type);
        QFETCH(Refusal, refusal);
        Station st({"Log Inet_RF= 1", "IGate>RF Port=2", type});
        st.logIn();
        const int before = st.server.lines().size();
        st.server.pushLines({kMessage});
        QTRY_COMPARE(st.server.lines().size(), before + 2);
        QCOMPARE(st.gateway.refusals().count(refusal), 1);
        QCOMPARE(st.gateway.texts().count(StateTexts::InetToRf), 0);
    }

    void listingAndBadInput()
    {
        Station st({"Log APRS IS= 1"});
        st.gateway.setListAllPackets(true);
        st.logIn();
        const qsizetype rows = st.gateway.internetList().size();
        st.server.push("N1ABC-9>APRS,qAR,N1DIG:!4903.50N/07201.75W-\xe9t\xe9\x01\r\n" +
                       QByteArray(100 * 1024, 'x') + "\r\nno colon here\r\n# javAPRSSrvr 4.3\r\n");
        QTRY_COMPARE(st.gateway.internetList().size(), rows + 3);
        QCOMPARE(st.gateway.internetList().at(rows), QStringLiteral("N1ABC-9>APRS,qAR,N1DIG:"));
        QCOMPARE(st.gateway.internetList().at(rows + 1),
                 QString::fromLatin1("!4903.50N/07201.75W-\xe9t\xe9\x01"));
        QCOMPARE(st.gateway.internetList().at(rows + 2), QStringLiteral("no colon here"));
        QCOMPARE(st.gateway.refusals().count(Refusal::OverlongLine), 1);
        QVERIFY(st.log("aprs_is.txt").endsWith("no colon here\r\n"));
        QVERIFY(st.gateway.link().loggedIn());

        // A flood is taken in stride, and the list keeps within its bounds.
        QByteArray flood;
        for (int i = 0; i < 20000; ++i)
            flood += "N1ABC-9>APRS,TCPIP*,qAC,T2:>status " + QByteArray::number(i) + "\r\n";
        st.server.push(flood);
        QTRY_VERIFY_WITH_TIMEOUT(st.gateway.internetList().size() == 32767, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(st.gateway.internetList().rows().last(),
                                  QStringLiteral(">status 19999"), 20000);
    }
};

QTEST_GUILESS_MAIN(TestAprsIs)
#include "tst_aprsis.moc"
