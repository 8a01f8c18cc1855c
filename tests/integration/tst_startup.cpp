// The real programs from the outside: exit statuses, endings, one run per folder, reach.

#include "support/fixtures.h"

#include <QDir>
#include <unistd.h>

const QByteArray kRows = "N1ABC-7   06-12-26 13:59:00 RS0ISS*\r\nN2XYZ-9   06-12-26 13:59:30 \r\n";

static QStringList kestrelArgs(const TempStation &s, const char *mode = "--headless")
{
    return {mode, "--program-dir", s.programDir(), "--mailbox", s.mailboxDir()};
}

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args"); // the program first; %P, %M the station's
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said"); // how standard output (status 0) or error starts
        QTest::newRow("unknown") << QStringList{"kestrel", "--headless", "--frobnicate"} << 2
                                 << QByteArray("kestrel: unknown argument: --frobnicate\n");
        QTest::newRow("no value") << QStringList{"kestrel", "--headless", "--program-dir"} << 2
                                  << QByteArray("kestrel: --program-dir needs a folder\n");
        for (const char *program :
             {"kestrel", "zeno-host", "aprsis-test-server", "http-test-server"}) {
            QTest::newRow(program) << QStringList{program, "--help"} << 0 << QByteArray("Usage: ");
            QTest::addRow("%s version", program)
                << QStringList{program, "--version"} << 0
                << (qstrcmp(program, "kestrel") ? QByteArray(program) + ' ' : "Kestrel ");
        }
        QTest::newRow("no settings")
            << QStringList{"kestrel", "--headless", "--program-dir=%P", "--mailbox=%M"} << 1
            << QByteArray("%P\\kestrel.ini file is missing!\n");
    }
    // Nothing in the station is touched.
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        TempStation s;
        QVERIFY(QFile::remove(s.programFile("kestrel.ini")));
        args.replaceInStrings("%P", s.programDir()).replaceInStrings("%M", s.mailboxDir());
        said.replace("%P", QDir::toNativeSeparators(s.programDir()).toLocal8Bit());
        const QStringList before = s.snapshot();
        Child child(QFileInfo(programUnderTest("KESTREL_BIN")).dir().filePath(args.takeFirst()),
                    args);
        QCOMPARE(child.finish(), status);
        QVERIFY2((status ? child.err() : child.out()).startsWith(said), child.out() + child.err());
        QCOMPARE(s.snapshot(), before);
    }

    // --check says each problem start-up would meet, with its line, touching nothing.
    void check_data()
    {
        // In kestrel.ini: text, replacement; or "elements.txt" and what it holds.
        QTest::addColumn<QByteArrayList>("edit");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("as written")
            << QByteArrayList{"", ""} << QByteArray("Nothing wrong found.\n");
        QTest::newRow("comment line")
            << QByteArrayList{"Validation#", "; mine\r\nValidation#"}
            << QByteArray("line 7 is read as Validation# but reads \"; mine\"");
        QTest::newRow("missing line")
            << QByteArrayList{"Proxy Address=\r\n", ""}
            << QByteArray("line 10 is read as Proxy Address but reads \"Auto");
        QTest::newRow("misspelt key")
            << QByteArrayList{"Interval=", "Intervall="}
            << QByteArray("line 16 is read as Interval but reads \"Intervall=600\"");
        QTest::newRow("passcode of another call")
            << QByteArrayList{"Validation#=8340", "Validation#=12345"}
            << QByteArray("Validation# 12345 is not the APRS-IS passcode of N1IGT");
        QTest::newRow("bad value") << QByteArrayList{"Packets/min=6", "Packets/min=12"}
                                   << QByteArray("Packets/min on line 31 is \"12\", not 6 to 9");
        QTest::newRow("elements")
            << QByteArrayList{"elements.txt",
                              QByteArray(sample::kIssElements).replace("9993", "9994")}
            << QByteArray("elements.txt: ISS (ZARYA), line 2: fails its checksum");
    }
    void check()
    {
        QFETCH(QByteArrayList, edit);
        QFETCH(QByteArray, said);
        TempStation s;
        if (edit[0] == "elements.txt")
            s.writeFile(s.programFile("elements.txt"), edit[1]);
        else
            s.writeFile(s.programFile("kestrel.ini"),
                        TempStation::settingsFile().replace(edit[0], edit[1]));
        const QStringList before = s.snapshot();
        Child kestrel(programUnderTest("KESTREL_BIN"), kestrelArgs(s, "--check"));
        QCOMPARE(kestrel.finish(), edit[0].isEmpty() ? 0 : 1);
        QVERIFY2(kestrel.out().contains(said), kestrel.out());
        QVERIFY(kestrel.out().contains("  line   5 APRS-IS Host       127.0.0.1\n"));
        QCOMPARE(s.snapshot(), before);
    }

    // A new folder passes --check, and gates once given a server and passcode; not made twice.
    void newProgramDir()
    {
        Headless h;
        const QString fresh = h.station.root() + "/fresh";
        const auto kestrel = [&](QStringList args) {
            Child c(programUnderTest("KESTREL_BIN"), args << "--mailbox" << h.station.mailboxDir());
            return c.finish();
        };
        QCOMPARE(kestrel({"--new-program-dir", fresh}), 0);
        QCOMPARE(kestrel({"--check", "--program-dir", fresh}), 0);
        QCOMPARE(kestrel({"--new-program-dir", fresh}), 1);
        const QString ini = fresh + "/kestrel.ini";
        h.station.writeFile(ini, TempStation::readFile(ini)
                                     .replace("rotate.aprs.net", "127.0.0.1")
                                     .replace("=14580", "=" + QByteArray::number(h.server.port()))
                                     .replace("Validation#=-1", "Validation#=8340"));
        h.start({"--connect", "--program-dir", fresh});
        QVERIFY(h.loggedIn());
        QVERIFY(h.take(sample::monitor("N1ABC-9", sample::kPosition)));
        QVERIFY(h.serverGot(sample::gated("N1ABC-9", sample::kPosition)));
        QCOMPARE(h.stop(), 0);
    }

    // The desktop program without a display says what to run instead.
    void noDisplay()
    {
        TempStation s;
        const QStringList before = s.snapshot();
        Child desktop("env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                              programUnderTest("KESTREL_BIN"), "--program-dir", s.programDir()});
        QCOMPARE(desktop.finish(), 2);
        QVERIFY(desktop.err().contains("runs kestrel --headless\n"));
        QCOMPARE(s.snapshot(), before);
    }

    void endings_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("blocked"); // a folder stands where mheard.txt goes
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            QTest::addRow("signal %d", signal) << signal << false;
        QTest::newRow("save fails") << int(SIGTERM) << true;
    }
    // The lists are saved on a signal; a failed save is said and is no success.
    void endings()
    {
        QFETCH(int, signal);
        QFETCH(bool, blocked);
        Headless h;
        h.station.writeFile(h.station.programFile("mheard.txt"), kRows);
        h.start();
        QVERIFY(h.says("MHeard + N2XYZ-9") && h.loggedIn());
        // Nobody reads the output any more: writing it fails, nothing ends.
        h.kestrel->p.closeReadChannel(QProcess::StandardOutput);
        QVERIFY(zenoHost(h.station, {"rx", sample::monitor("N1ABC-9", sample::kPosition)}));
        QVERIFY(h.serverGot(sample::gated("N1ABC-9", sample::kPosition)));
        const QString mheard = h.station.programFile("mheard.txt");
        if (blocked)
            QVERIFY(QFile::remove(mheard) && QDir().mkpath(mheard));
        QCOMPARE(h.stop(signal), blocked ? 1 : 0);
        QCOMPARE(h.file("mheard.txt").startsWith(kRows + "N1ABC-9   "), !blocked);
        QCOMPARE(h.file("positions.txt"), "N1ABC-9   0km 0\xb0\r\n");
        QCOMPARE(h.kestrel->err().contains("Could not save the MHeard list to "), blocked);
    }

    // A second run on the folder ends touching nothing; the lock goes with the process, even
    // one killed. The desktop run leaves kestrel.ini, values at their limits, as it was.
    void oneRunPerProgramFolder()
    {
        // The host's 50 characters still name 127.0.0.1.
        Headless h({"APRS-IS Host=127.0.0." + QString(41, u'0') + '1',
                    "APRS Filter=r/49/-72/100 p/" + QString(85, u'N'), "Interval=10800",
                    "Status Text=" + QString(48, u's')});
        const QByteArray settings = h.file("kestrel.ini");
        h.start({});
        QVERIFY(h.says("Host: "));
        const QStringList before = h.station.snapshot();
        Child second(programUnderTest("KESTREL_BIN"), kestrelArgs(h.station));
        QCOMPARE(second.finish(), 1);
        QCOMPARE(second.out() + second.err(), "Kestrel already runs on the program folder " +
                                                  h.station.programDir().toLocal8Bit() +
                                                  "; this one ends.\n");
        QCOMPARE(h.station.snapshot(), before);
        QCOMPARE(h.stop(SIGKILL), -2);
        Child desktop(programUnderTest("KESTREL_BIN"), kestrelArgs(h.station, "--connect"));
        QVERIFY(h.loggedIn(10000));
        desktop.signal(SIGTERM);
        QCOMPARE(desktop.finish(10000), 0);
        QCOMPARE(h.file("kestrel.ini"), settings);
    }

    // An ordinary user's start-up says what is out of its reach, and no list is lost.
    void outOfReachAsAnOrdinaryUser_data()
    {
        QTest::addColumn<int>("mode");        // of the path the row is named after
        QTest::addColumn<QByteArray>("said"); // on standard error or in errors.txt
        QTest::newRow("program/kestrel.ini") << 0 << QByteArray("Start-up stopped: cannot read");
        QTest::newRow("mailbox") << 0700 << QByteArray("Host the mailbox holds no call sign");
        QTest::newRow("program/Logs_Kestrel")
            << 0555 << QByteArray("Start-up stopped: cannot write in");
    }
    void outOfReachAsAnOrdinaryUser()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, said);
        const QString nobody = QStringLiteral("65534");
        if (::geteuid() != 0 ||
            Child(programUnderTest("KESTREL_BIN"), {"--version"}, nobody).finish() != 0)
            QSKIP("needs root, setpriv, and a build folder an ordinary user may run from");
        TempStation s;
        s.writeFile(s.programFile("mheard.txt"), kRows);
        QCOMPARE(QProcess::execute("chmod", {"-R", "a+rwX", s.root()}), 0);
        const QString path = s.root() + '/' + QTest::currentDataTag();
        QCOMPARE(QProcess::execute("chmod", {QString::number(mode, 8), path}), 0);
        Child kestrel(programUnderTest("KESTREL_BIN"), kestrelArgs(s), nobody);
        QTRY_VERIFY((kestrel.err() + errorLines(s).join('\n').toLatin1()).contains(said));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        QCOMPARE(TempStation::readFile(s.programFile("mheard.txt")), kRows);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
