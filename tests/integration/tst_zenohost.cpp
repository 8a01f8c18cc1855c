// zeno-host's commands as a station's scripts use them: what each stores in
// the mailbox, prints and exits with.

#include "support/fixtures.h"
#include "zeno-host/kiss.h"

#include <QProcess>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The TNC's end of a serial line: a pseudo-terminal, reached by the host
// through a link that can be taken away and put back as a USB adapter is.
struct SerialTnc
{
    explicit SerialTnc(const QString &linkPath) : path(linkPath)
    {
        fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0)
            QFile::link(QString::fromLocal8Bit(ptsname(fd)), path);
    }
    ~SerialTnc()
    {
        ::close(fd);
        QFile::remove(path);
    }
    void send(const std::string &bytes, std::size_t piece) const
    {
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            QVERIFY(::write(fd, bytes.data() + at, std::min(piece, bytes.size() - at)) > 0);
    }
    QByteArray &take()
    {
        char b[512];
        for (ssize_t n; (n = ::read(fd, b, sizeof b)) > 0;)
            got.append(b, n);
        return got;
    }
    QString path;
    int fd = -1;
    QByteArray got;
};

using namespace std::string_literals;

} // namespace

class TestZenoHost : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("value"); // KEY/NAME of the value to read after
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("rx escapes") << QStringList{"rx", "a\\r\\x00\\xff\\\\b\\n"} << 0
                                    << "RXData/String" << QByteArray("a\r\0\xff\\b\n", 7);
        QTest::newRow("rx text after --")
            << QStringList{"rx", "--", "--x"} << 0 << "RXData/String" << QByteArray("--x");
        QTest::newRow("status") << QStringList{"status", "Zeno Terminated!"} << 0 << "Status/String"
                                << QByteArray("Zeno Terminated!");
        QTest::newRow("set") << QStringList{"set", "Command", "To", "APKR02"} << 0 << "Command/To"
                             << QByteArray("APKR02");
        QTest::newRow("init") << QStringList{"init", "--call", "N9TST-3", "--path", "zeno"} << 0
                              << "MyCall/String" << QByteArray("N9TST-3");
        QTest::newRow("replay") << QStringList{"replay", "frames.txt", "--every", "0"} << 0
                                << "RXData/String" << QByteArray("second\r>x");
        QTest::newRow("replay, missing file")
            << QStringList{"replay", "none.txt"} << 1 << "" << QByteArray();
        QTest::newRow("replay, every not a number")
            << QStringList{"replay", "frames.txt", "--every", "1s"} << 2 << "" << QByteArray();
        QTest::newRow("--loop elsewhere")
            << QStringList{"rx", "x", "--loop"} << 2 << "" << QByteArray();
        QTest::newRow("option of another command")
            << QStringList{"rx", "x", "--every", "1"} << 2 << "" << QByteArray();
        QTest::newRow("init without path")
            << QStringList{"init", "--call", "N9TST"} << 2 << "" << QByteArray();
        QTest::newRow("words missing")
            << QStringList{"set", "Command", "To"} << 2 << "" << QByteArray();
        QTest::newRow("unknown command") << QStringList{"transmit"} << 2 << "" << QByteArray();
    }

    void commands()
    {
        QFETCH(QStringList, args);
        TempStation s;
        s.writeFile(s.root() + "/frames.txt", "first\r\n\r\nsecond\\r>x\r\n");
        QProcess p;
        p.setWorkingDirectory(s.root());
        p.start(programUnderTest("ZENO_HOST_BIN"), QStringList{"--mailbox", s.mailboxDir()} + args);
        QVERIFY(p.waitForFinished(5000));
        QTEST(p.exitCode(), "status");
        QFETCH(QString, value);
        if (!value.isEmpty())
            QTEST(s.mailboxValue(value.section('/', 0, 0), value.section('/', 1)), "bytes");
        const QByteArray said = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2(said.startsWith("zeno-host: ") == (args[0] == "init" || p.exitCode() != 0), said);
        if (args[0] == "init" && p.exitCode() == 0) {
            QCOMPARE(s.mailboxValue("Path", "String"), (s.root() + "/zeno").toLocal8Bit());
            QCOMPARE(s.mailboxValue("Status", "String"), QByteArray("Zeno Server Active!"));
            QCOMPARE(TempStation::readFile(s.hostDir() + "/Zeno.ini").startsWith("[APRS]\r\nx\r\n"),
                     args.contains("--force"));
        }
        // What it stored reads back byte for byte.
        if (!value.isEmpty()) {
            p.start(programUnderTest("ZENO_HOST_BIN"),
                    {"--mailbox", s.mailboxDir(), "get", value.section('/', 0, 0),
                     value.section('/', 1)});
            QVERIFY(p.waitForFinished(5000));
            QTEST(p.readAllStandardOutput(), "bytes");
        }
    }

    // A KISS TNC on a serial line: a frame escaped and cut into single
    // bytes, frames that are no UI frames or no data, a transmission, and
    // the device going away and coming back.
    void kissSerial()
    {
        TempStation s;
        s.setMailboxValue("MyCall", "String", "N1IGT-10");
        s.setMailboxValue("Command", "To", "APKR02");
        s.setMailboxValue("Command", "Via", "ARISS");
        s.setMailboxValue("Command", "TXP", "2"); // as a gateway that started first chose
        const QString device = s.root() + "/ttyKISS";
        auto tnc = std::make_unique<SerialTnc>(device);
        Child zeno(programUnderTest("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "kiss", device,
                                                       "--baud", "19200", "--txdelay", "30"});
        const auto status = [&] { return s.mailboxValue("Status", "String"); };
        QTRY_COMPARE(status(), "Zeno Server Active!");
        QTRY_COMPARE(tnc->take(), QByteArray("\xc0\x01\x1e\xc0")); // TXDELAY 300 ms

        const std::string info = "!4903.50N/07201.75W-\xc0\xdb";
        const std::string heard = *zenohost::kiss::unproto(0, "N1ABC-9", "APRS", "WIDE2-1", info);
        QVERIFY(heard.find("\xdb\xdc") != std::string::npos);
        tnc->send("\xc0\x06\x01\xc0\xc0\x00\xdb\x01\xc0"s + heard.substr(0, 23) + "\x3f\xf0\xc0" +
                      heard,
                  1);
        const auto unstamped = [&] { // without its "[HH:MM:SS]"
            QByteArray v = s.mailboxValue("RXData", "String");
            return v.indexOf(" >[") < 0 ? v : v.remove(v.indexOf(" >[") + 2, 10);
        };
        QTRY_COMPARE(unstamped(), " 1:Fm N1ABC-9 To APRS Via WIDE2-1 <UI pid=F0 Len=22 >\r" +
                                      QByteArray::fromStdString(info));
        QVERIFY(zeno.err().contains(
            "dropped 1 KISS frame(s): a FESC not followed by TFEND or TFESC\n"));
        QTRY_VERIFY(zeno.err().contains("skipped a frame heard on port 1: not a UI frame\n"));

        tnc->got.clear();
        s.setMailboxValue("TXData", "String", ":}hello\r\n");
        s.setMailboxValue("Command", "Command", "/TXDATA/");
        QTRY_COMPARE(tnc->take(), QByteArray::fromStdString(*zenohost::kiss::unproto(
                                      1, "N1IGT-10", "APKR02", "ARISS", "}hello")));
        QTRY_VERIFY(
            zeno.out().contains("SENT  2:Fm N1IGT-10 To APKR02 Via ARISS <UI pid=F0 Len=6 >"));
        QVERIFY(!zeno.err().contains("TXDATA not sent"));

        tnc.reset();
        QTRY_COMPARE(status(), "Zeno running, but no AGWPE!");
        QVERIFY(
            zeno.err().contains("no TNC at " + device.toLocal8Bit() + " (the device went away)"));
        tnc = std::make_unique<SerialTnc>(device);
        QTRY_COMPARE_WITH_TIMEOUT(status(), "Zeno Server Active!", 5000);
        s.setMailboxValue("RXData", "String", {});
        tnc->send(heard, 7);
        QTRY_VERIFY(s.mailboxValue("RXData", "String").endsWith(info.c_str()));

        zeno.signal(SIGTERM);
        QCOMPARE(zeno.finish(), 0);
        QCOMPARE(status(), "Zeno Terminated!");
        QVERIFY(zeno.err().endsWith("1 KISS frames other than data ignored, 1 dropped\n"));
    }

    void kissCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("no baud") << QStringList{"/dev/null", "--baud", ""}
                                 << QByteArray("--baud takes 1200");
        QTest::newRow("baud") << QStringList{"/dev/null", "--baud", "9601"}
                              << QByteArray("--baud takes 1200");
        QTest::newRow("baud on TCP") << QStringList{"127.0.0.1:8001", "--baud", "9600"}
                                     << QByteArray("--baud is for a serial device");
        QTest::newRow("parameter") << QStringList{"/dev/null", "--persist", "256"}
                                   << QByteArray("--persist takes a whole number from 0 to 255");
        QTest::newRow("no port") << QStringList{"localhost"}
                                 << QByteArray("kiss takes HOST:PORT or a serial device");
    }

    void kissCommandLine()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(programUnderTest("ZENO_HOST_BIN"), QStringList{"kiss"} + args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QFETCH(QByteArray, said);
        QVERIFY2(p.readAllStandardError().startsWith("zeno-host: " + said), said);
    }
};

QTEST_GUILESS_MAIN(TestZenoHost)
#include "tst_zenohost.moc"
