// zeno-host's side of AGWPE and KISS: frames in and out, heard ones as monitor text, sent ones.

#include "zeno-host/agw.h"
#include "zeno-host/kiss.h"

#include <QTest>

using namespace zenohost;

// A 'K' frame's data: the engine's byte (0), then "APRS,N1ABC-9,N1DIG*" as AX.25 addresses,
// the has-been-repeated bit for a "*" and the extension bit on the last.
static QByteArray raw(const QByteArray &calls)
{
    QByteArray out(1, '\0');
    for (const QByteArray &call : calls.split(',')) {
        const QList<QByteArray> parts = QByteArray(call).replace('*', "").split('-');
        for (const char c : parts[0].leftJustified(6, ' '))
            out += char(c << 1);
        out += char(0x60 | parts.value(1).toInt() << 1 | (call.endsWith('*') ? 0x80 : 0));
    }
    out.back() = char(out.back() | 1);
    return out;
}

class TestAgw : public QObject
{
    Q_OBJECT
private slots:
    // Frames cut anywhere and joined; a frame longer than any engine sends loses the stream.
    void framesSplitAndJoined()
    {
        const std::string k =
            agw::encode({1, 'K', 0, "N1ABC-9", "A-CALL-LONGER-THAN-TEN", std::string(300, 'x')});
        const std::string stream = k + k + agw::encode({0, 'K', 0, {}, {}, std::string(9000, 'x')});
        agw::Reader reader;
        reader.append(stream.data(), k.size() - 1);
        QVERIFY(!reader.next()); // one byte short
        reader.append(stream.data() + k.size() - 1, stream.size() - k.size() + 1);
        const auto f = reader.next();
        QVERIFY(f && f->port == 1 && f->kind == 'K' && f->data == std::string(300, 'x'));
        QCOMPARE(f->callFrom + "|" + f->callTo, "N1ABC-9|A-CALL-LO"); // nine and the NUL
        QCOMPARE(reader.next().value().callFrom, "N1ABC-9");
        QVERIFY(!reader.next() && reader.lost());
    }

    // A raw frame (the engine's byte first) as monitor text for port 2 at 09:05:07, a transmit
    // text ("MyCall|path|TXDATA text") as the 'V' frame to the engine's third port; or why not.
    void frames_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        const auto row = [](const char *name, const QByteArray &in, const QByteArray &out) {
            QTest::newRow(name) << in << out;
        };
        const QByteArray heard = raw("APRS,N1ABC-9,N1DIG-1*,N2DIG*,WIDE2-1");
        const QByteArray info = QByteArray("\0\r\xff\x7f", 4).repeated(128); // 512 bytes
        row("longest; poll bit", heard + "\x13\xf0" + info,
            " 2:Fm N1ABC-9 To APRS Via N1DIG-1*,N2DIG*,WIDE2-1 <UI pid=F0 Len=512 >[09:05:07]\r" +
                info);
        row("direct", raw("APRS,N1ABC-15") + "\x03\xcf",
            " 2:Fm N1ABC-15 To APRS <UI pid=CF Len=0 >[09:05:07]\r");
        row("too long", heard + "\x03\xf0" + info + 'x', "information field too long");
        row("truncated", heard.left(11), "truncated address field");
        row("SABM", heard + "\x3f\xf0", "not a UI frame");
        row("no pid", heard + '\x03', "no control field or pid");
        row("no source", raw("APRS") + "\x03\xf0", "no source address");
        for (const char *calls : {"n1abc,N1ABC", "AP RS,N1ABC"})
            row(calls, raw(calls) + "\x03\xf0", "malformed address");
        row("9 digis", raw(QByteArray("WIDE,").repeated(10) + "WIDE"), "more than 8 digipeaters");
        row("nothing", {}, "truncated address field");
        row("sent", "N1IGT-10|WIDE1-1, WIDE2-1|:}x\r\n",
            QByteArray("\x02\0\0\0V\0\xf0\0N1IGT-10\0\0APKR02\0\0\0\0\x17\0\0\0\0\0\0\0"
                       "\x02WIDE1-1\0\0\0WIDE2-1\0\0\0}x",
                       59));
        row("MyCall", "n1igt||x", "MyCall is no AX.25 call sign");
        for (const char *path : {"N1IGT|WIDE1-1,WIDE2-|x", "N1IGT|A,B,C,D,E,F,G,H,I|x"})
            row(path, path, "the path is not up to 8 AX.25 call signs");
        row("nothing to send", "N1IGT||\r\n", "nothing to send");
        row("NUL", QByteArray("N1IGT||a\0b", 10), "a NUL byte in the text");
        // Only a third-party text loses its colon.
        row("257", "N1IGT||:" + QByteArray(agw::kMaxSentInfo, 'x'), "more than 256 bytes to send");
    }

    void frames()
    {
        QFETCH(QByteArray, in);
        std::string why;
        std::optional<std::string> out;
        const QList<QByteArray> c = in.split('|');
        if (!in.isEmpty() && in.front() != '\0')
            out = agw::unproto(2, c[0].toStdString(), "APKR02", c[1].toStdString(),
                               agw::transmitInformation(c[2].toStdString()), &why);
        else if (const auto ui = agw::decodeUi(in.mid(1).toStdString(), &why))
            out = agw::monitorText(2, *ui, 9, 5, 7);
        QTEST(QByteArray::fromStdString(out.value_or(why)), "out");
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

    // A KISS stream read whole and byte by byte alike: each data frame as "port:hex", then the
    // frames of other commands and those dropped.
    void kissFrames_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("frames");
        const auto row = [](const char *name, const QByteArray &stream, const QString &frames) {
            QTest::newRow(name) << stream << frames;
        };
        const auto b = [](const auto &literal) { return QByteArray(literal, sizeof literal - 1); };
        row("noise before the first FEND", b("ab\xc0\x00x\xc0"), "0:78 | 0 0");
        row("escapes, port 3", b("\xc0\x30\xdb\xdc\xdb\xdd\xc0"), "3:c0db | 0 0");
        row("port 12: its data byte is FEND", b("\xc0\xdb\xdc\x61\xc0"), "12:61 | 0 0");
        row("empty frames", b("\xc0\xc0\x00\x61\xc0\xc0\xf0\x62\xc0"), "0:61 15:62 | 0 0");
        row("other commands", b("\xc0\x01\x1e\xc0\xc0\xff\xc0\xc0\x00\x61\xc0"), "0:61 | 2 0");
        row("broken escape", b("\xc0\x00\xdb\x41\xc0\xc0\x00\xdb\xc0"), "| 0 2");
        const QByteArray longest(kiss::kMaxFrameBytes, 'a');
        row("longest", b("\xc0\x00") + longest + "\xc0", "0:" + longest.toHex() + " | 0 0");
        row("too long", b("\xc0\x00") + longest + "a\xc0", "| 0 1");
        row("longest, all escaped",
            b("\xc0\xdb\xdc") + QByteArray("\xdb\xdd").repeated(kiss::kMaxFrameBytes) + "\xc0",
            "12:" + QByteArray("\xdb").repeated(kiss::kMaxFrameBytes).toHex() + " | 0 0");
        row("unended", b("\xc0\x00") + QByteArray(3000, 'a') + b("\xc0\x00\x61\xc0"), "0:61 | 0 1");
    }

    void kissFrames()
    {
        QFETCH(QByteArray, stream);
        for (const qsizetype piece : {stream.size(), qsizetype(1)}) {
            kiss::Deframer deframer;
            QStringList got;
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                deframer.append(std::string_view(stream.constData(), std::size_t(stream.size()))
                                    .substr(at, piece));
                while (const auto f = deframer.next())
                    got << QString::number(f->port) + ':' +
                               QByteArray::fromStdString(f->ax25).toHex();
            }
            got << QStringLiteral("| %1 %2").arg(deframer.otherCommands()).arg(deframer.dropped());
            QTEST(got.join(' '), "frames");
        }
    }

    // A transmission as a KISS data frame: the command bit on the destination, the last
    // address marked, the information escaped; KISS has 16 ports.
    void kissUnproto()
    {
        QCOMPARE(
            QByteArray::fromStdString(*kiss::unproto(2, "N1IGT-10", "APKR02", "WIDE1-1", "}x\xc0")),
            QByteArray("\xc0\x20\x82\xa0\x96\xa4\x60\x64\xe0\x9c\x62\x92\x8e\xa8\x40\x74"
                       "\xae\x92\x88\x8a\x62\x40\x63\x03\xf0}x\xdb\xdc\xc0"));
        std::string why;
        QVERIFY(!kiss::unproto(16, "N1IGT-10", "APKR02", "", "x", &why));
        QCOMPARE(why, "KISS has ports 1 to 16 only");
    }
};

QTEST_APPLESS_MAIN(TestAgw)
#include "tst_agw.moc"
