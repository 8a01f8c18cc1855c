// The in-process gateway beside the loopback APRS-IS server: gating both ways, link, announcements.

#include "support/fixtures.h"

#include <QSignalSpy> // and QMetaEnum

using namespace kestrel;
using R = Refusal;
using L = QStringList;

constexpr R kNone = R::Count;
const QString kToN3 = QStringLiteral("N1ABC-7>APRS,TCPIP*,qAC,T2::N3ABC    :hi there{1");
const QString kToUs = QStringLiteral("N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1IGT-10 :hello Test{7");
const QString kAck = QStringLiteral("N1IGT-10>APKR02,APRS::N2XYZ-3  :ack7");
const QStringList kToRf = {"Log Inet_RF= 1", "IGate>RF Port=2", "Type All= 1"};

const auto rf = [](const QString &info, const QString &via = {}, const QString &from = "N1ABC-7") {
    return sample::monitor(from, info, via);
};
const auto gated = [](const QString &info, const QString &via = {}) {
    return QString::fromLatin1(sample::gated("N1ABC-7", info, via));
};

struct Linked : InProcess
{
    explicit Linked(const L &settings = {})
    {
        server.listen();
        station.writeSettings(L{"APRS-IS Port=" + QString::number(server.port())} + settings);
        start();
        g.mailbox().flush();
    }
    // Logged in and verified, or connected with the login waiting for the relay command.
    bool bring(bool relay = false)
    {
        QSignalSpy verified(&g.link(), &AprsIsLink::verified);
        g.connectCommand();
        return QTest::qWaitFor(
            [&] { return relay ? g.timer("Timer4").isActive() : verified.size() == 1; });
    }
    // The server's lines after the first, up to a marker sent now (TCP keeps the order).
    L sent()
    {
        g.link().send("MARK\r\n");
        (void)QTest::qWaitFor([&] { return server.lines().contains("MARK"); });
        const QList<QByteArray> got = server.lines();
        return QString::fromLatin1(got.mid(1, got.indexOf("MARK")).join('\n')).split('\n');
    }
    QString state() const
    {
        return g.texts().text(StateTexts::ConnectionState) + " / " +
               g.texts().text(StateTexts::ConnectCaption);
    }
    AprsIsTestServer server;
    Gateway &g = gateway;
};

static QList<R> produced;

class TestAprsIs : public QObject
{
    Q_OBJECT

private slots:
    // Events: a monitor text the host hears, an APRS-IS line, "tick" (a minute of the link's
    // clock). Settings may add "link=down|relay". Out: server lines after login, "air " + TX.
    void gating_data()
    {
        const auto row = [](const char *name, const L &settings, const L &events, R refusal,
                            int mheard, const L &out = {}) {
            QTest::newRow(name) << settings << events << refusal << mheard << out;
        };
        QTest::addColumn<L>("settings");
        QTest::addColumn<L>("events");
        QTest::addColumn<R>("refusal");  // the one reason counted, once
        QTest::addColumn<int>("mheard"); // rows in MHeard afterwards
        QTest::addColumn<L>("out");
        const QString p = sample::kPosition, odd = QString::fromLatin1("`x1!n0K/ \0\x1c\xb0 ", 13);
        const QString bln = "N2XYZ-3>APRS,TCPIP*,qAC,T2::BLN1     :Hi!", x484(484, 'x');
        const QString from = "N2XYZ-3>APRS,TCPIP*,qAC,T2:", air = "air :}";
        const L direct = {"Gate Only Direct= 1"}, only = kToRf + L{"Type All= 0"};
        const L msgs = only + L{"Type Message= 1"}, pos = only + L{"Type Position= 1"};

        // RF to APRS-IS as qAR lines; MHeard lists all but own and third-party senders.
        row("direct, digipeated, up to LF or CR, 512 bytes with CR LF", {},
            {rf(p), rf(">hi", "N1DIG*,WIDE2-1"), rf(odd + "\nN9>AP:x"), rf(odd + "\rx"), rf(x484)},
            kNone, 1,
            {gated(p), gated(">hi", "N1DIG*,WIDE2-1"), gated(odd), gated(odd), gated(x484)});
        row("513 bytes", {}, {rf(x484 + "x")}, R::OverlongLine, 1);
        row("own call", {}, {rf(p, {}, "N1IGT-10")}, R::OwnCall, 0);
        row("own call in the path", {}, {rf(p, "N1IGT-10*")}, R::OwnCallInPath, 0);
        row("third party", {}, {rf("}N9X>APRS,TCPIP,N1ABC-7*:>hi")}, R::ThirdParty, 0);
        row("link down", {"link=down"}, {rf(p)}, R::Disconnected, 1);
        row("another port", {"RF Port>IGate=2"}, {rf(p)}, R::Port, 1);
        row("not in the call list", {"DIGI All= 0"}, {rf(p)}, R::CallList, 1);
        row("direct: repeated", direct, {rf(p, "N1DIG*")}, R::NotDirect, 1);
        row("direct: no path", direct, {rf(p)}, R::NotDirect, 1);
        row("direct: hop unused", direct, {rf(p, "WIDE2-2")}, kNone, 1, {gated(p, "WIDE2-2")});
        row("empty information", {}, {rf("")}, R::EmptyInformation, 1);
        row("query", {}, {rf("?APRS?", "WIDE1-1")}, R::Query, 1);
        for (const char *word : {"TCPIP*", "TCPXX", "NOGATE", "RFONLY"})
            row(word, {}, {rf(p, QString("WIDE2-1,") + word)}, R::NoGate, 1);
        row("no monitor text", {}, {" 1:Fm N1BAD [x]\\r\\"}, R::MalformedFrame, 0);
        row("longer than any monitor text", {}, {rf(QString(2100, 'x'))}, R::OverlongFrame, 0);

        row("Log Inet_RF off", {"IGate>RF Port=2", "Type All= 1"}, {kToN3}, kNone, 0);
        row("41 characters", kToRf, {bln}, kNone, 0, {air + bln});
        row("40 characters", kToRf, {bln.left(40)}, kNone, 0);
        row("type not chosen", only, {kToN3}, R::TypeFilter, 0);
        row("message", msgs, {kToN3}, kNone, 0, {air + kToN3});
        row("message with BLN", msgs, {QString(kToN3).replace("hi", "BLN")}, R::TypeFilter, 0);
        row("bulletin", only + L{"Type Bulletin= 1"}, {bln}, kNone, 0, {air + bln});
        for (const QString &x : L{p, "=4903.50N/07201.75W-", "`(_fn\"Oj/]Mic-E"})
            row(qPrintable("position " + x.left(1)), pos, {from + x}, kNone, 0, {air + from + x});
        row("@ is no position", pos, {from + "@092345z4903.50N/07201.75W-"}, R::TypeFilter, 0);
        row("transmit port 0", kToRf + L{"IGate>RF Port=0"}, {kToN3}, R::PortDisabled, 0);
        row("server comment", kToRf, {"# " + kToN3}, R::ServerComment, 0);
        row("message to this station", kToRf, {kToUs}, R::ToOwnCall, 0, {kAck, ""});
        row("source heard on RF", kToRf, {rf(p), kToN3}, R::LoopGuard, 1, {gated(p)});
        for (const char *word : {"N1IGT-10", "TCPXX*", "NOGATE", "RFONLY", "qAX"})
            row(word, kToRf, {QString(kToN3).replace("TCPIP*", word)}, R::LoopGuard, 0);
        row("one less than Packets/min", kToRf + L{"Packets/min=2"},
            {kToN3, QString(kToN3).replace("{1", "{2")}, R::RateLimit, 0, {air + kToN3});
        row("a new minute after 60 ticks", kToRf + L{"Packets/min=2"}, {kToN3, "tick", kToN3 + "2"},
            kNone, 0, {air + kToN3 + "2"});

        row("acknowledged and answered", {"Answer YES/NO= 1"}, {kToUs}, kNone, 0,
            {kAck, "", "N1IGT-10>APKR02,APRS::N2XYZ-3  :Only RF to Internet Service!"});
        row("a repeat is not", {}, {kToUs, kToUs}, kNone, 0, {kAck, ""});
        row("to another SSID", {}, {QString(kToUs).replace("10 ", "1  ")}, kNone, 0);
        row("without a number", {}, {QString(kToUs).remove("{7")}, kNone, 0);
        row("before login", {"Proxy Address=x:9", "link=relay"}, {kToUs}, R::BeforeLogin, 0);
    }
    void gating()
    {
        QFETCH(L, settings);
        QFETCH(L, events);
        QFETCH(R, refusal);
        QFETCH(L, out);
        const QString link = settings.filter("link=").value(0, "link=up").mid(5);
        Linked st(settings);
        if (link != "down")
            QVERIFY(st.bring(link == "relay"));
        for (const QString &event : events) {
            if (event.startsWith(" 1:Fm"))
                st.hostHears(event);
            else if (event != "tick")
                st.g.receivePath().handle(event.toLatin1());
            for (int i = 0; event == "tick" && i < 60; ++i)
                st.g.timer2Tick();
            st.g.timer6Tick();
        }
        for (int r = 0; r < int(R::Count); ++r)
            QVERIFY2(st.g.refusals().count(R(r)) == (R(r) == refusal), RefusalCounts::name(R(r)));
        QTEST(int(st.g.mheardList().size()), "mheard");
        st.g.mailbox().flush();
        const QByteArray air = out.filter(QRegularExpression("^air ")).value(0).mid(4).toLatin1();
        QCOMPARE(st.station.mailboxValue("TXData", "String"), air);
        if (!air.isEmpty()) // and logged as sent for another station
            QVERIFY(st.file("Logs_Kestrel/Inet_RF.txt")
                        .endsWith("Port:2 N1IGT-10>APKR02:\r\n" + air.mid(1) + "\r\n"));
        if (link == "up")
            QCOMPARE(st.sent(), out.filter(QRegularExpression("^(?!air )")) << "MARK");
        QVERIFY(
            refusal != R::MalformedFrame || // logged as the host wrote it
            st.file("errors.txt").contains("Error_timer6 Packet:" + sample::unescaped(events[0])));
        produced << refusal;
    }
    void everyReasonHasARow()
    {
        if (produced.isEmpty())
            QSKIP("counts what gating's rows produced");
        for (int r = 0; r < int(R::Count); ++r)
            QVERIFY2(produced.contains(R(r)), RefusalCounts::name(R(r)));
    }

    void announcementLines_data()
    {
        QTest::addColumn<L>("set"); // "Field=value"
        QTest::addColumn<QString>("dx");
        QTest::addColumn<L>("lines"); // each line's step of the Inet Tx count, its information
        const L all = {"InetBeacon=1",     "AddDx=1",       "SendBull=1",
                       "BulletinText=Net", "StatusText=On", "InternetBeaconText=!B"};
        const QString beacon = "1 !B", bulletin = "1 :BLN      :Net";
        QTest::newRow("no record") << all << "" << L{beacon, "1 >On", bulletin};
        QTest::newRow("Add DX off") << all + L{"AddDx=0"} << "N7" << L{beacon, "0 >On", bulletin};
        QTest::newRow("no beacon") << all + L{"InternetBeaconText="} << "" << L{"1 >On", bulletin};
        QTest::newRow("bulletin only") << all + L{"InetBeacon=0"} << "N7" << L{bulletin};
        QTest::newRow("nothing") << L{} << "" << L{};
    }
    void announcementLines()
    {
        QFETCH(L, set);
        QFETCH(QString, dx);
        Settings s;
        const QMetaEnum fields = QMetaEnum::fromType<Settings::Field>();
        for (const QString &kv : set)
            s.setText(Settings::Field(fields.keyToValue(kv.section('=', 0, 0).toLatin1())),
                      kv.section('=', 1));
        L lines;
        for (const AnnouncementLine &l : kestrel::announcementLines(s, dx))
            lines << QString::number(l.inetTx) + ' ' + l.information;
        QTEST(lines, "lines");
    }

    // The link's 1 s clock: the first announcement 10 ticks after login, then each Interval (0: 1).
    void announcementTiming()
    {
        Linked st({"Interval=5", "SendBull= 1", "Bulletin Text=Net"});
        QVERIFY(st.bring());
        st.g.timer("Timer2").stop(); // the test is the clock
        QList<int> ticks;
        for (int t = 1; t <= 18; ++t) {
            if (t == 16)
                st.g.settings().setText(Settings::Interval, "0");
            const qint64 before = st.g.texts().count(StateTexts::InetTx);
            st.g.timer2Tick();
            if (st.g.texts().count(StateTexts::InetTx) > before)
                ticks << t;
        }
        QCOMPARE(ticks, QList<int>({10, 15, 16, 17, 18}));
        QCOMPARE(st.sent(), L(ticks.size(), "N1IGT-10>APKR02,APRS::BLN      :Net") << "MARK");
    }

    void linkLifeCycle()
    {
        Linked st({"Log Serv_Conn= 1"});
        Gateway &g = st.g;
        const QString server = "127.0.0.1:" + QString::number(st.server.port());
        g.connectCommand();
        QCOMPARE(st.state(), "Connecting ... / Disconnect");
        QTRY_COMPARE(st.state(), "CONNECTED TO: " + server + " / Disconnect");
        // A lost link is torn down after 10 s, tried again 5 s later; Connect meanwhile cancels.
        QCOMPARE(g.timer("Timer8").interval() + g.timer("Timer9").interval(), 15000);
        st.server.closeClient();
        QTRY_VERIFY(g.timer("Timer8").isActive());
        g.timer8Tick();
        QCOMPARE(st.state(), "DISCONNECTED / Connect");
        QVERIFY(g.link().reconnectNoticeVisible() && g.timer("Timer9").isActive());
        g.connectCommand();
        QVERIFY(!g.timer("Timer9").isActive() && !g.link().reconnectNoticeVisible());
        QTRY_VERIFY(g.link().loggedIn());
        st.server.closeClient();
        QTRY_VERIFY(g.timer("Timer8").isActive());
        g.connectCommand(); // lost again: disconnecting meanwhile stops the teardown
        QVERIFY(!g.timer("Timer8").isActive());
        for (const char *address : {":1", "x", "127.0.0.1:x", "x.invalid:1"}) { // not retried
            g.settings().setText(Settings::ProxyAddress, address);
            g.settings().setText(Settings::ProxyYesNo, "1"); // wants a colon the first time
            g.connectCommand();
            QVERIFY(!g.timer("Timer8").isActive() && st.state() == "DISCONNECTED / Connect");
        }
        const QByteArray at = "06-12-26 14:00:00 ", up = at + "CONNECTED TO: " + server.toLatin1();
        QCOMPARE(st.file("Logs_Kestrel/serv_conn.txt"),
                 up + "\r\n" + at + "DISCONNECTED! * Trying again ...\r\n" + up + "\r\n" + at +
                     "DISCONNECTED\r\n" + QByteArray(at + "ERROR CON_DES>\r\n").repeated(4));
    }

    // The login refused, then taken; server lines glued, cut at any end, with List All Packets.
    void loginAnswersAndServerLines()
    {
        Linked st({"Validation#=-1", "Log APRS IS= 1"});
        Gateway &g = st.g;
        QSignalSpy notice(&g, &Gateway::notice);
        g.connectCommand();
        QTRY_COMPARE(notice.size(), 1);
        QCOMPARE(notice[0][0].toString(),
                 "Validation Number NOT valid!\r\nDisconnected: nothing is gated or received "
                 "until Validation# holds the APRS-IS passcode of N1IGT.");
        QCOMPARE(st.state(), "DISCONNECTED / Connect");
        QCOMPARE(g.internetList().rows().last(), "Validation Number Error! * DISCONNECTED *");
        QVERIFY(g.link().receiveOnly() && !g.timer("Timer8").isActive());
        const qint32 countdown = g.announcer().secondsToAnnouncement();
        g.timer2Tick(); // receiving only, the link's clock stands still
        QCOMPARE(g.announcer().secondsToAnnouncement(), countdown);
        // With the right passcode errors.txt says when the server took the login.
        g.settings().setText(Settings::ValidationNumber, "8340");
        g.setListAllPackets(true);
        QVERIFY(st.bring());
        const qsizetype rows = g.internetList().size();
        const QByteArray longest(LineAssembler::kMaxLine, 'm');
        st.server.push(QByteArray(100 * 1024, 'x') + "\r\nN9>AP:!\xe9\x01\r\nplain\r" + longest +
                       "\n# javAPRSSrvr\r\n# logresp N9 unverified\r\n"
                       "N9>AP:logresp N1IGT-10 unverified\r\n");
        QTRY_COMPARE(g.internetList().rows().mid(rows),
                     L({"N9>AP:", QString::fromLatin1("!\xe9\x01"), "plain", longest,
                        "# logresp N9 unverified", "N9>AP:", "logresp N1IGT-10 unverified"}));
        QCOMPARE(g.refusals().count(R::OverlongLine), 1);
        QVERIFY(st.file("Logs_Kestrel/aprs_is.txt").contains("\nplain\r\n" + longest + "\r\n"));
        const QString server = "APRS-IS 127.0.0.1:" + QString::number(st.server.port());
        QCOMPARE(errorLines(st.station), // only a comment naming this station answers the login
                 L({server + " answered the login of N1IGT-10 \"unverified\": the link is "
                             "closed and nothing is gated or received; set Validation# to the "
                             "APRS-IS passcode of N1IGT and connect again",
                    server + " verified the login of N1IGT-10"}));
    }
};

QTEST_GUILESS_MAIN(TestAprsIs)
#include "tst_aprsis.moc"
