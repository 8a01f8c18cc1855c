// zeno-host's side of the AGWPE protocol: frames in and out, heard UI frames
// as the monitor text the gateway parses, and what goes on the air.

#include "core/text.h"
#include "host/monitortext.h"
#include "zeno-host/agw.h"

#include <QTest>

using namespace zenohost;

namespace {

// One address field; `last` sets the extension bit, `h` the
// has-been-repeated bit.
std::string address(const std::string &call, int ssid, bool h = false, bool last = false)
{
    std::string field;
    for (std::size_t i = 0; i < 6; ++i)
        field += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
    field += static_cast<char>(0x60 | ssid << 1 | (h ? 0x80 : 0) | (last ? 1 : 0));
    return field;
}

// N1ABC-9>APRS,N1DIG*,WIDE2-1 with the given control byte and information.
std::string heard(const std::string &info, char control = 0x03)
{
    return address("APRS", 0) + address("N1ABC", 9) + address("N1DIG", 0, true) +
           address("WIDE2", 1, false, true) + control + '\xf0' + info;
}

std::string decodeError(const std::string &ax25)
{
    std::string why;
    return agw::decodeUi(ax25, &why) ? std::string("accepted") : why;
}

} // namespace

class TestAgw : public QObject
{
    Q_OBJECT

private slots:
    void framesSplitAndJoined()
    {
        const std::string first =
            agw::encode({1, 'K', 0, "N1ABC-9", "A-CALL-LONGER-THAN-TEN", std::string(300, 'x')});
        QCOMPARE(first.size(), 336u);
        QCOMPARE(first.substr(28, 4), std::string("\x2c\x01\0\0", 4)); // 300, little-endian
        const std::string stream = first + agw::encode({0, 'G', 0, {}, {}, "1;Port1\0"});

        agw::Reader reader;
        reader.append(stream.data(), first.size() - 1);
        QVERIFY(!reader.next()); // one byte short
        reader.append(stream.data() + first.size() - 1, stream.size() - first.size() + 1);
        const auto k = reader.next();
        QVERIFY(k);
        QCOMPARE(k->port, 1);
        QCOMPARE(k->kind, 'K');
        QCOMPARE(k->callFrom, "N1ABC-9");
        QCOMPARE(k->callTo, "A-CALL-LO"); // nine and the NUL
        QCOMPARE(k->data, std::string(300, 'x'));
        QCOMPARE(reader.next()->kind, 'G');
        QVERIFY(!reader.next());

        // A length no engine sends: the stream cannot be followed past it.
        std::string huge = agw::encode({0, 'K', 0, {}, {}, {}});
        huge[30] = 1; // 64 KiB
        reader.append(huge.data(), huge.size());
        QVERIFY(!reader.next());
        QVERIFY(reader.lost());
    }

    void heardFramesAsMonitorText()
    {
        auto ui = agw::decodeRaw('\0' + heard(">hello"));
        QVERIFY(ui);
        const std::string text = agw::monitorText(1, *ui, 9, 5, 7);
        QCOMPARE(text,
                 " 1:Fm N1ABC-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=6 >[09:05:07]\r>hello");
        // The gateway reads it back as the frame that was heard.
        const auto m = kestrel::MonitorText::parse(kestrel::text::fromBytes(text));
        QVERIFY(m);
        QCOMPARE(m->port, 1);
        QCOMPARE(m->frameLine(), QStringLiteral("N1ABC-9>APRS,N1DIG*,WIDE2-1:>hello"));

        // Every repeated digipeater keeps its "*"; heard direct, no Via.
        ui = agw::decodeUi(address("APRS", 0) + address("N1ABC", 0) + address("N1DIG", 1, true) +
                           address("N2DIG", 0, true, true) + "\x13\xf0!");
        QVERIFY(ui); // UI with the poll bit
        QCOMPARE(ui->via, std::vector<std::string>({"N1DIG-1*", "N2DIG*"}));
        ui = agw::decodeUi(address("APRS", 0) + address("N1ABC", 15, false, true) + "\x03\xcf");
        QCOMPARE(agw::monitorText(2, *ui, 23, 59, 0),
                 " 2:Fm N1ABC-15 To APRS <UI pid=CF Len=0 >[23:59:00]\r");
    }

    void everyByteValueKept()
    {
        std::string info;
        for (int b = 1; b < 256; ++b)
            info += static_cast<char>(b);
        const auto ui = agw::decodeUi(heard(info));
        QVERIFY(ui);
        const std::string text = agw::monitorText(1, *ui, 0, 0, 0);
        QVERIFY(text.find(" Len=255 >[00:00:00]\r") != std::string::npos);
        QCOMPARE(text.substr(text.size() - 255), info);
    }

    void malformedFramesSkipped()
    {
        QCOMPARE(decodeError(heard(std::string(agw::kMaxReceivedInfo, 'x'))), "accepted");
        QCOMPARE(decodeError(heard(std::string(agw::kMaxReceivedInfo + 1, 'x'))),
                 "information field too long");
        QCOMPARE(decodeError(heard(">x").substr(0, 10)), "truncated address field");
        for (const char control : {0x00, 0x01, 0x3f}) // I, RR, SABM
            QCOMPARE(decodeError(heard(">x", control)), "not a UI frame");
        QCOMPARE(decodeError(heard("").substr(0, 29)), "no control field or pid");
        QCOMPARE(decodeError(address("APRS", 0, false, true) + "\x03\xf0x"), "no source address");
        QCOMPARE(decodeError(address("APRS", 0) + address("n1abc", 0, false, true) + "\x03\xf0x"),
                 "malformed address");
        QCOMPARE(decodeError(address("AP RS", 0) + address("N1ABC", 0, false, true) + "\x03\xf0x"),
                 "malformed address");
        std::string odd = heard(">x");
        odd[7] |= 1; // the end-of-addresses bit on a character
        QCOMPARE(decodeError(odd), "malformed address");
        std::string nine = address("APRS", 0) + address("N1ABC", 0);
        for (int i = 0; i < 9; ++i)
            nine += address("WIDE", 1, false, i == 8);
        QCOMPARE(decodeError(nine + "\x03\xf0x"), "more than 8 digipeaters");
        QVERIFY(!agw::decodeRaw(""));
    }

    void gatewayCommandsToFrames()
    {
        QCOMPARE(agw::receivePort("7"), -1);
        QCOMPARE(agw::receivePort("2"), 1);
        QCOMPARE(agw::transmitPort("7"), 0);
        QCOMPARE(agw::transmitPort("3"), 2);
        for (const char *bad : {"", "0", "-1", "x", "1.5", "100"})
            QVERIFY(!agw::receivePort(bad) && !agw::transmitPort(bad));

        QCOMPARE(agw::transmitInformation(":}N2XYZ-3>APRS::N1ABC-9  :hi{01\r\n"),
                 "}N2XYZ-3>APRS::N1ABC-9  :hi{01");
        QCOMPARE(agw::transmitInformation(":N1ABC-9  :hi\r"), ":N1ABC-9  :hi");

        const auto v = agw::unproto(2, "N1IGT-10", "APKR02", "WIDE1-1, WIDE2-1", "}x");
        QVERIFY(v);
        QCOMPARE(v->substr(0, 8), std::string("\x02\0\0\0V\0\xf0\0", 8));
        QCOMPARE(v->substr(8, 20), std::string("N1IGT-10\0\0APKR02\0\0\0\0", 20));
        QCOMPARE(v->substr(36), std::string("\x02WIDE1-1\0\0\0WIDE2-1\0\0\0}x", 23));

        std::string why;
        const auto refused = [&why](const std::string &from, const std::string &via,
                                    const std::string &info) {
            return !agw::unproto(0, from, "APKR02", via, info, &why);
        };
        QVERIFY(refused("n1igt", "", "x") && why == "MyCall is no AX.25 call sign");
        QVERIFY(refused("N1IGT", "WIDE1-1,WIDE2-", "x") && why.find("path") != std::string::npos);
        QVERIFY(refused("N1IGT", "A,B,C,D,E,F,G,H,I", "x"));
        QVERIFY(refused("N1IGT", "", std::string(agw::kMaxSentInfo + 1, 'x')));
        QVERIFY(refused("N1IGT", "", "") && why == "nothing to send");
    }
};

QTEST_APPLESS_MAIN(TestAgw)
#include "tst_agw.moc"
