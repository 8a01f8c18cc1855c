// zeno-host's side of AGWPE: frames in and out, heard ones as monitor text, sent ones.

#include "zeno-host/agw.h"

#include <QTest>

using namespace zenohost;

// One address field; `last` sets the extension bit, `h` the has-been-repeated bit.
static QByteArray address(const char *call, int ssid, bool h = false, bool last = false)
{
    QByteArray field = QByteArray(call).leftJustified(6, ' ') + char(0x30 | ssid | (h ? 0x40 : 0));
    for (char &c : field)
        c = char(c << 1);
    return field.chopped(1) + char(field.back() | last);
}

// N1ABC-9>APRS,N1DIG*,WIDE2-1 with the given control byte and information.
static QByteArray heard(const QByteArray &info, char control = 0x03)
{
    return address("APRS", 0) + address("N1ABC", 9) + address("N1DIG", 0, true) +
           address("WIDE2", 1, false, true) + control + '\xf0' + info;
}

class TestAgw : public QObject
{
    Q_OBJECT
private slots:
    void framesSplitAndJoined()
    {
        const std::string first =
            agw::encode({1, 'K', 0, "N1ABC-9", "A-CALL-LONGER-THAN-TEN", std::string(300, 'x')});
        const std::string stream = first + agw::encode({0, 'G', 0, {}, {}, "1;Port1\0"});
        agw::Reader reader;
        reader.append(stream.data(), first.size() - 1);
        QVERIFY(!reader.next()); // one byte short
        reader.append(stream.data() + first.size() - 1, stream.size() - first.size() + 1);
        const auto k = reader.next();
        QVERIFY(k && k->port == 1 && k->kind == 'K' && k->data == std::string(300, 'x'));
        QCOMPARE(k->callFrom + "|" + k->callTo, "N1ABC-9|A-CALL-LO"); // nine and the NUL
        QCOMPARE(reader.next()->kind, 'G');
        // A length no engine sends (64 KiB): the stream cannot be followed past it.
        std::string huge = agw::encode({0, 'K', 0, {}, {}, {}});
        huge[30] = 1;
        reader.append(huge.data(), huge.size());
        QVERIFY(!reader.next() && reader.lost());
    }

    // A heard frame as monitor text for port 2 at 09:05:07, or why it is skipped.
    void heardFrames_data()
    {
        QTest::addColumn<QByteArray>("ax25");
        QTest::addColumn<QByteArray>("text");
        const auto row = [](const char *name, const QByteArray &ax25, const QByteArray &text) {
            QTest::newRow(name) << ax25 << text;
        };
        const QByteArray via = " 2:Fm N1ABC-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=";
        QByteArray longest;
        for (int b = 0; longest.size() < int(agw::kMaxReceivedInfo); ++b)
            longest += char(b);
        row("heard", heard(">hello"), via + "6 >[09:05:07]\r>hello");
        row("every byte, the longest", heard(longest), via + "512 >[09:05:07]\r" + longest);
        row("every repeater keeps its *; poll bit",
            address("APRS", 0) + address("N1ABC", 0) + address("N1DIG", 1, true) +
                address("N2DIG", 0, true, true) + "\x13\xf0!",
            " 2:Fm N1ABC To APRS Via N1DIG-1*,N2DIG* <UI pid=F0 Len=1 >[09:05:07]\r!");
        row("direct", address("APRS", 0) + address("N1ABC", 15, false, true) + "\x03\xcf",
            " 2:Fm N1ABC-15 To APRS <UI pid=CF Len=0 >[09:05:07]\r");
        row("too long", heard(longest + 'x'), "information field too long");
        row("truncated", heard(">x").left(10), "truncated address field");
        for (const char control : {0x00, 0x01, 0x3f}) // I, RR, SABM
            row("not UI", heard(">x", control), "not a UI frame");
        row("no pid", heard("").left(29), "no control field or pid");
        row("no source", address("APRS", 0, false, true) + "\x03\xf0x", "no source address");
        for (const char *call : {"n1abc", "AP RS"})
            row(call, address(call, 0) + address("N1ABC", 0, false, true) + "\x03\xf0x",
                "malformed address");
        row("end bit on a letter", heard(">x").replace(7, 1, "\x9d"), "malformed address");
        row("nine repeaters",
            address("APRS", 0) + address("N1ABC", 0) + address("WIDE", 1).repeated(8) +
                address("WIDE", 1, false, true) + "\x03\xf0x",
            "more than 8 digipeaters");
        row("nothing", {}, "empty raw frame");
    }
    void heardFrames()
    {
        QFETCH(QByteArray, ax25);
        std::string why;
        const auto ui = agw::decodeRaw(ax25.isEmpty() ? "" : '\0' + ax25.toStdString(), &why);
        QTEST(QByteArray::fromStdString(ui ? agw::monitorText(2, *ui, 9, 5, 7) : why), "text");
    }

    // A transmit text ("MyCall|path|TXDATA text") as the 'V' frame to the
    // engine's third port, or why there is none.
    void sentFrames_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const QByteArray &command, const QByteArray &frame) {
            QTest::newRow(command.left(30)) << command << frame;
        };
        row("N1IGT-10|WIDE1-1, WIDE2-1|:}x\r\n",
            QByteArray("\x02\0\0\0V\0\xf0\0N1IGT-10\0\0APKR02\0\0\0\0\x17\0\0\0\0\0\0\0"
                       "\x02WIDE1-1\0\0\0WIDE2-1\0\0\0}x",
                       59));
        row("n1igt||x", "MyCall is no AX.25 call sign");
        row("N1IGT|WIDE1-1,WIDE2-|x", "the path is not up to 8 AX.25 call signs");
        row("N1IGT|A,B,C,D,E,F,G,H,I|x", "the path is not up to 8 AX.25 call signs");
        row("N1IGT||\r\n", "nothing to send");
        row(QByteArray("N1IGT||a\0b", 10), "a NUL byte in the text");
        // Only a third-party text loses its colon.
        row("N1IGT||:" + QByteArray(agw::kMaxSentInfo, 'x'), "more than 256 bytes to send");
    }
    void sentFrames()
    {
        QFETCH(QByteArray, command);
        const QList<QByteArray> c = command.split('|');
        std::string why;
        const auto v = agw::unproto(2, c[0].toStdString(), "APKR02", c[1].toStdString(),
                                    agw::transmitInformation(c[2].toStdString()), &why);
        QTEST(QByteArray::fromStdString(v.value_or(why)), "frame");
    }

    void ports()
    {
        // Receive 7 is every port (-1), transmit 7 the first; n is the engine's n-1.
        QStringList got;
        for (const char *p : {"7", "2", "3", "", "0", "-1", "x", "1.5", "100"})
            got << QString::number(agw::receivePort(p).value_or(-9)) + '/' +
                       QString::number(agw::transmitPort(p).value_or(-9));
        QCOMPARE(got.join(' '), "-1/0 1/1 2/2 -9/-9 -9/-9 -9/-9 -9/-9 -9/-9 -9/-9");
    }
};

QTEST_APPLESS_MAIN(TestAgw)
#include "tst_agw.moc"
