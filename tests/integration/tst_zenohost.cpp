// zeno-host's commands as a station's scripts use them: what each stores in
// the mailbox, prints and exits with.

#include "support/fixtures.h"

#include <QProcess>

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
};

QTEST_GUILESS_MAIN(TestZenoHost)
#include "tst_zenohost.moc"
