// The RF pass and the MHeard expiry on a gateway in-process, logged in to
// the loopback test server.

#include "host/mailbox/directorystore.h"
#include "host/monitortext.h"
#include "station/gateway.h"
#include "test-servers/aprsistestserver.h"
#include "support/tempstation.h"

#include <QTest>

using namespace kestrel;
using F = Settings::Field;

namespace {
struct Station
{
    explicit Station(const QStringList &settings = {})
    {
        server.listen();
        s.writeSettings(
            QStringList{"APRS-IS Port=" + QString::number(server.port()), "Log IGated= 1"} +
            settings);
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 0, 0)));
        gateway.start();
        gateway.connectCommand();
        QTRY_VERIFY(gateway.link().loggedIn());
    }
    // A frame as the host writes it, with the time of the clock.
    void hear(const QString &frame)
    {
        s.setMailboxValue("RXData", "String", frame.toLatin1());
        gateway.timer6Tick();
    }
    QList<QByteArray> sent()
    {
        QTest::qWait(100);
        return server.lines().mid(1);
    }
    TempStation s;
    AprsIsTestServer server;
    mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
    Clock clock;
    Gateway gateway{ProgramFolder(s.programDir()), store, clock};
};
const QString kDirect =
    " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=24 >[14:00:05]\r!4903.50N/07201.75W-Test";
const QString kViaTwo =
    " 1:Fm N2XYZ-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=6 >[14:00:06]\r>hello";
} // namespace

class TestRfGate : public QObject
{
    Q_OBJECT

private slots:
    void monitorTextFields()
    {
        const auto m = MonitorText::parse(kViaTwo);
        QVERIFY(m);
        QCOMPARE(m->port, 1);
        QCOMPARE(m->source, QStringLiteral("N2XYZ-9"));
        QCOMPARE(m->destination, QStringLiteral("APRS"));
        QCOMPARE(m->via, QStringLiteral(",N1DIG*,WIDE2-1"));
        QCOMPARE(m->information, QStringLiteral(">hello"));
        // Every byte up to the line's end, as heard: the server compares
        // whole lines. A second line would be a packet of its own.
        const QString odd = QString::fromLatin1("`x1!n0K/ \0\x1c\xb0 ", 13);
        for (const char *end : {"", "\r", "\n", "\r\nN9EVL>APRS:forged", "\rmore"})
            QCOMPARE(MonitorText::parse(kDirect + odd + end)->information,
                     "!4903.50N/07201.75W-Test" + odd);
        for (const char *bad : {"", "Fm", " 1:Fm N1ABC To APRS", " 1:Fm N1ABC [x]", "To Fm <]",
                                " 1:FmTo <UI>]x", " 1:Fm N1ABC To APRS Via <UI>]"})
            QVERIFY2(!MonitorText::parse(QString::fromLatin1(bad)), bad);
    }

    void framesGoOutAsQarLines()
    {
        Station st({"RF Port>IGate=1"});
        st.hear(kDirect);
        st.hear(kDirect); // the same text twice is one frame
        st.hear(kViaTwo);
        QCOMPARE(st.sent(), QList<QByteArray>({"N1ABC-7>APRS,qAR,N1IGT-10:!4903.50N/07201.75W-Test",
                                               "N2XYZ-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:>hello"}));
        QCOMPARE(st.gateway.mheardList().rows(),
                 QStringList({"N1ABC-7   06-12-26 14:00:00 ",
                              "N2XYZ-9   06-12-26 14:00:00 N1DIG*,WIDE2-1"}));
        QCOMPARE(st.gateway.igatedList().size(), 4);
        QCOMPARE(st.gateway.texts().count(StateTexts::RfToInet), 2);
        QCOMPARE(TempStation::readFile(st.s.programFile("Logs_Kestrel/igated.txt")),
                 QByteArray("N1ABC-7>APRS,qAR,N1IGT-10:\r\n!4903.50N/07201.75W-Test\r\n"
                            "N2XYZ-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:\r\n>hello\r\n"));
        // The position was shown, from the station's own beacon position.
        QCOMPARE(st.gateway.positionsList().size(), 1);
        QVERIFY(st.gateway.positionsList().at(0).startsWith("N1ABC-7   0km"));
    }

    void directRowIsKeptThenRenewed()
    {
        Station st;
        st.hear(kDirect);
        st.clock.advance(60);
        st.hear(QString(kDirect)
                    .replace(" To APRS <", " To APRS Via N1DIG* <")
                    .replace("14:00:05", "14:01:05"));
        QCOMPARE(st.gateway.mheardList().at(0), QStringLiteral("N1ABC-7   06-12-26 14:00:00 "));
        st.clock.advance(60);
        st.hear(QString(kDirect).replace("14:00:05", "14:02:05"));
        QCOMPARE(st.gateway.mheardList().at(0), QStringLiteral("N1ABC-7   06-12-26 14:02:00 "));
    }

    void whatIsNotGated()
    {
        Station st({"Gate Only Direct= 1"});
        st.hear(kDirect);                                         // no path at all
        st.hear(kViaTwo);                                         // repeated by N1DIG*
        st.hear(QString(kDirect).replace("N1ABC-7", "N1IGT-10")); // our own
        st.hear(
            QString(kDirect).replace("\r!", "\r}").replace("14:00:05", "14:00:09")); // third party
        st.hear(QString(kViaTwo)
                    .replace("N1DIG*,WIDE2-1", "WIDE2-1,NOGATE")
                    .replace("N2XYZ-9", "N3NOG"));
        st.hear(QString(kViaTwo)
                    .replace("N1DIG*,WIDE2-1", "WIDE1-1")
                    .replace(">hello", "?APRS?")
                    .replace("N2XYZ-9", "N4QRY"));
        QVERIFY(st.sent().isEmpty());
        QCOMPARE(st.gateway.refusals().count(Refusal::NotDirect), 2);
        QCOMPARE(st.gateway.refusals().count(Refusal::NoGate), 1);
        QCOMPARE(st.gateway.refusals().count(Refusal::Query), 1);
        QCOMPARE(st.gateway.refusals().count(Refusal::OwnCall), 1);
        QCOMPARE(st.gateway.refusals().count(Refusal::ThirdParty), 1);
        // Own and third-party frames are not in MHeard; the rest are.
        QCOMPARE(st.gateway.mheardList().size(), 4);
        QCOMPARE(st.gateway.texts().count(StateTexts::RfRx), 6);

        // Disconnected: listed all the same, nothing sent.
        st.gateway.connectCommand();
        st.hear(QString(kDirect).replace("N1ABC-7", "N5NEW").replace("14:00:05", "14:00:30"));
        QCOMPARE(st.gateway.mheardList().rows().last().left(5), QStringLiteral("N5NEW"));
        QCOMPARE(st.gateway.refusals().count(Refusal::Disconnected), 1);

        // Not a monitor text: logged byte for byte as the host wrote it.
        st.hear(" 1:Fm N1BAD [x]\r\\");
        QVERIFY(TempStation::readFile(st.s.programFile("errors.txt"))
                    .contains("Error_timer6 Packet: 1:Fm N1BAD [x]\r\\\r\n"));
    }

    void positionsAndTheRecord()
    {
        Station st;
        // Two stations exactly as far: the later one takes the record over.
        st.hear(" 1:Fm N1EAST To APRS <UI pid=F0 Len=20 >[14:00:01]\r!4903.50N/07101.75W-");
        QVERIFY(st.gateway.texts().text(StateTexts::DxText).startsWith("N1EAST  "));
        st.hear(" 1:Fm N2WEST To APRS <UI pid=F0 Len=20 >[14:00:02]\r!4903.50N/07301.75W-");
        QVERIFY(st.gateway.texts().text(StateTexts::DxText).startsWith("N2WEST  "));
        QCOMPARE(st.gateway.positionsList().size(), 2);
        QCOMPARE(st.gateway.positionsList().at(0).mid(10),
                 st.gateway.positionsList().at(1).mid(10).replace("270", "90"));
        // A station heard again keeps its place; its row is rewritten.
        st.hear(" 1:Fm N1EAST To APRS <UI pid=F0 Len=20 >[14:00:03]\r!4903.50N/07201.70W-");
        QVERIFY(st.gateway.positionsList().at(0).startsWith("N1EAST    0.1km 90"));
    }

    void noPositionOfItsOwn()
    {
        Station st;
        st.gateway.settings().setText(F::HostBeaconText, QString());
        st.hear(" 1:Fm N1ABC-9 To S32U6T <UI pid=F0 Len=9 >[14:00:04]\r`(_fn\"Oj/");
        QVERIFY(!st.gateway.texts().text(StateTexts::MicELine).isEmpty());
        st.hear(kDirect);
        QVERIFY(st.gateway.positionsList().isEmpty());
        QVERIFY(st.gateway.texts().text(StateTexts::DxText).isEmpty());
        // A position that is not Mic-E clears the Mic-E line all the same.
        QVERIFY(st.gateway.texts().text(StateTexts::MicELine).isEmpty());
        // Only a compressed position without a time stamp reads "Comprimida".
        st.hear(QString(kDirect).replace("!4903.50N/07201.75W-Test", "/092345z/5L!!<*e7>7P["));
        QVERIFY(st.gateway.texts().text(StateTexts::LastStation).isEmpty());
        st.hear(QString(kDirect).replace("!4903.50N/07201.75W-Test", "=/5L!!<*e7>7P["));
        QCOMPARE(st.gateway.texts().text(StateTexts::LastStation), QStringLiteral("Comprimida"));
        // Gated all the same.
        QCOMPARE(st.sent().size(), 4);
    }

    void linesTheServersWouldDrop()
    {
        Station st;
        const QString info = QString(600, u'x');
        st.hear(" 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=600 >[14:00:05]\r>" + info);
        QVERIFY(st.sent().isEmpty());
        QCOMPARE(st.gateway.refusals().count(Refusal::OverlongLine), 1);
        QCOMPARE(st.gateway.mheardList().size(), 1);
    }

    void expiryTakesThePositionAlong()
    {
        Station st({"MHExpTime=2"});
        st.gateway.mheardList().setRows({"N1ABC-7   06-12-26 12:01:00 ",
                                         "N2XYZ-9   06-12-26 12:00:59 ", "N3BAD     not a time"});
        st.gateway.positionsList().setRows({QString::fromLatin1("N2XYZ-9   12.3km 45\xb0"),
                                            QString::fromLatin1("N1ABC-7   99.9km 90\xb0")});
        // 14:00:00: N1ABC-7 is 119 minute boundaries old, N2XYZ-9 120.
        st.gateway.timer7Tick();
        QCOMPARE(st.gateway.mheardList().rows(), QStringList({"N1ABC-7   06-12-26 12:01:00 "}));
        QCOMPARE(st.gateway.positionsList().size(), 1);
        QVERIFY(st.s.readFile(st.s.programFile("errors.txt"))
                    .endsWith("14:00:00 1 row(s) dropped whose time heard cannot be read\r\n"));
        QCOMPARE(st.gateway.texts().text(StateTexts::DxText),
                 QString::fromLatin1("N1ABC-7   99.9km 90\xb0"));
        // Ranked by the whole figure, five digits and all.
        const QString far = QString::fromLatin1("N4FAR     10123.6km 45\xb0");
        st.gateway.positionsList().setRows({QString::fromLatin1("N1ABC-7   1500.5km 90\xb0"), far});
        st.gateway.rfGate().recomputeDx();
        QCOMPARE(st.gateway.texts().text(StateTexts::DxText), far);
    }
};

QTEST_GUILESS_MAIN(TestRfGate)
#include "tst_rfgate.moc"
