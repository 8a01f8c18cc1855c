// The real kestrel --headless and zeno-host processes on a temporary station.

#include "support/child.h"
#include "support/tempstation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

QString bin(const char *var)
{
    return programUnderTest(var);
}

QStringList kestrelArgs(const TempStation &s)
{
    return {"--headless", "--program-dir", s.programDir(), "--mailbox", s.mailboxDir()};
}

QByteArray zenoHost(const TempStation &s, const QStringList &args)
{
    QProcess p;
    p.start(bin("ZENO_HOST_BIN"), QStringList{"--mailbox", s.mailboxDir()} + args);
    p.waitForFinished(5000);
    return p.readAllStandardOutput();
}

const QByteArray kRows = "N1ABC-7   06-12-26 13:59:00 RS0ISS*\r\nN2XYZ-9   06-12-26 13:59:30 \r\n";

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!bin("KESTREL_BIN").isEmpty() && !bin("ZENO_HOST_BIN").isEmpty(),
                 "run through ctest, which names the programs under test");
    }

    void startUpCommandsReachTheHostInOrder()
    {
        TempStation s;
        s.writeSettings({"RF Port>IGate=2", "IGate>RF Port=3", "UnprotoPath=ARISS"});
        Child watch(bin("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "watch"});
        QTRY_VERIFY(watch.err().contains("watching"));
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_COMPARE_WITH_TIMEOUT(watch.out().count('\n'), 4, 5000);
        QCOMPARE(watch.out(), QByteArray("CHANGEPORT rxp=2 txp=3\n"
                                         "APPLICATION MyProgram\n"
                                         "SETTVF to=APKR02 via=ARISS\n"
                                         "SETTVF to=APKR02 via=ARISS\n"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
    }

    void fatalStartUpEndsWithStatusOne_data()
    {
        QTest::addColumn<QString>("remove");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("logs") << "Logs_Kestrel" << QByteArray("\\Logs_Kestrel folder is missing!");
        QTest::newRow("settings") << "kestrel.ini" << QByteArray("\\kestrel.ini file is missing!");
    }
    void fatalStartUpEndsWithStatusOne()
    {
        QFETCH(QString, remove);
        QFETCH(QByteArray, message);
        TempStation s;
        const QString path = s.programFile(remove);
        QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        const QStringList before = s.snapshot();
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        QCOMPARE(kestrel.finish(), 1);
        QCOMPARE(kestrel.err(),
                 QDir::toNativeSeparators(s.programDir()).toLocal8Bit() + message + '\n');
        QCOMPARE(s.snapshot(), before);
    }

    void signalsEndTheProgramAndSaveTheLists_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsEndTheProgramAndSaveTheLists()
    {
        QFETCH(int, number);
        TempStation s;
        s.writeFile(s.programFile("mheard.txt"), kRows);
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        // The first poll of the host shows the program is up and running.
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("Host: zeno server active!"), 5000);
        QVERIFY(kestrel.out().contains("MHeard + N2XYZ-9   06-12-26 13:59:30 \n"));
        QFile::remove(s.programFile("mheard.txt"));
        kestrel.signal(number);
        QCOMPARE(kestrel.finish(), 0);
        QCOMPARE(TempStation::readFile(s.programFile("mheard.txt")), kRows);
        QVERIFY(QFileInfo::exists(s.programFile("positions.txt")));
    }

    void secondGatewayOnTheSameFolderEndsUntouched()
    {
        TempStation s;
        Child first(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(first.out().contains("Host: zeno server active!"), 5000);
        const auto before = s.snapshot();
        Child second(bin("KESTREL_BIN"), kestrelArgs(s));
        QCOMPARE(second.finish(), 1);
        QVERIFY2(second.err().contains("Kestrel already runs on the program folder"), second.err());
        QVERIFY(second.out().isEmpty());
        QCOMPARE(s.snapshot(), before);
        QCOMPARE(first.p.state(), QProcess::Running);
        first.signal(SIGTERM);
        QCOMPARE(first.finish(), 0);
        // The kernel let go of the lock with the process: a new run starts.
        Child third(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(third.out().contains("Host: zeno server active!"), 5000);
        third.p.kill();
        QVERIFY(third.p.waitForFinished());
        Child fourth(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(fourth.out().contains("Host: zeno server active!"), 5000);
        fourth.signal(SIGTERM);
        QCOMPARE(fourth.finish(), 0);
    }

    void closedOutputAndFailedSave()
    {
        TempStation s;
        s.writeFile(s.programFile("mheard.txt"), kRows);
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("Host: zeno server active!"), 5000);
        // Nobody reads the output any more: writing it must not end the program.
        kestrel.p.closeReadChannel(QProcess::StandardOutput);
        zenoHost(s, {"rx", " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=5 >[14:00:05]\\r>Test"});
        QTest::qWait(1500);
        QCOMPARE(kestrel.p.state(), QProcess::Running);
        // A list that cannot be saved is said, and the end is no success.
        QFile::remove(s.programFile("mheard.txt"));
        QDir().mkpath(s.programFile("mheard.txt"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 1);
        QVERIFY(kestrel.err().contains("Could not save the MHeard list to "));
        QVERIFY(QFileInfo::exists(s.programFile("positions.txt")));
    }

    void watchSaysWhenItFellBehind()
    {
        TempStation s;
        Child watch(bin("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "watch"});
        QTRY_VERIFY(watch.err().contains("watching"));
        watch.signal(SIGSTOP);
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("Mailbox: SETTVF via="), 5000);
        watch.signal(SIGCONT);
        QTRY_COMPARE_WITH_TIMEOUT(watch.out().count('\n'), 4, 5000);
        QVERIFY(watch.err().contains("fell behind the gateway"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
    }

    void hostTerminatedEndsWithoutSaving()
    {
        TempStation s;
        s.writeSettings({"Close Zeno= 1"});
        s.writeFile(s.programFile("mheard.txt"), kRows);
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s));
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("Host: zeno server active!"), 5000);
        QFile::remove(s.programFile("mheard.txt"));
        zenoHost(s, {"status", "Zeno Terminated!"});
        QCOMPARE(kestrel.finish(3000), 0);
        QVERIFY(!QFileInfo::exists(s.programFile("mheard.txt")));
    }

    void commandLine()
    {
        TempStation s;
        Child bad(bin("KESTREL_BIN"), {"--headless", "--frobnicate"});
        QCOMPARE(bad.finish(), 2);
        QVERIFY(bad.err().contains("unknown argument: --frobnicate"));
        Child missing(bin("KESTREL_BIN"), {"--headless", "--program-dir"});
        QCOMPARE(missing.finish(), 2);
        Child version(bin("KESTREL_BIN"), {"--version"});
        QCOMPARE(version.finish(), 0);
        QVERIFY(version.out().startsWith("Kestrel "));
        // --program-dir=DIR works as well as two words, and --list-all is taken.
        Child eq(bin("KESTREL_BIN"), {"--headless", "--list-all", "--program-dir=" + s.programDir(),
                                      "--mailbox=" + s.mailboxDir()});
        QTRY_VERIFY_WITH_TIMEOUT(eq.out().contains("Host: zeno server active!"), 5000);
        eq.signal(SIGTERM);
        QCOMPARE(eq.finish(), 0);
    }

    void zenoHostStoresExactBytes()
    {
        TempStation s;
        zenoHost(s, {"rx", " 1:Fm N1ABC To APRS <UI>[1]\\rA\\x00B\\\\\\n\\xff"});
        QCOMPARE(s.mailboxValue("RXData", "String"),
                 QByteArray(" 1:Fm N1ABC To APRS <UI>[1]\rA\0B\\\n\xff", 34));
        QCOMPARE(zenoHost(s, {"get", "RXData"}),
                 QByteArray(" 1:Fm N1ABC To APRS <UI>[1]\rA\0B\\\n\xff", 34));

        s.writeFile(s.root() + "/pass.txt", "first\\rone\n\nsecond\\rtwo\r\n");
        QElapsedTimer t;
        t.start();
        zenoHost(s, {"replay", s.root() + "/pass.txt", "--every", "200"});
        QVERIFY(t.elapsed() >= 200);
        QCOMPARE(s.mailboxValue("RXData", "String"), QByteArray("second\rtwo"));

        TempStation fresh;
        QDir(fresh.mailboxDir()).removeRecursively();
        zenoHost(fresh, {"init", "--call", "N1IGT-10", "--path", fresh.root() + "/host2",
                         "--beacon", "!4903.50N/07201.75W#"});
        QCOMPARE(fresh.mailboxValue("MyCall", "String"), QByteArray("N1IGT-10"));
        QCOMPARE(fresh.mailboxValue("Status", "String"), QByteArray("Zeno Server Active!"));
        QCOMPARE(TempStation::readFile(fresh.root() + "/host2/Zeno.ini"),
                 QByteArray("[APRS]\r\n!4903.50N/07201.75W#\r\n"));
    }

    void unreadableFilesAsAnOrdinaryUser()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("needs root and setpriv to run as an ordinary user");
        const QString nobody = QStringLiteral("65534");
        {
            Child probe(bin("KESTREL_BIN"), {"--version"}, nobody);
            if (probe.finish() != 0)
                QSKIP("the build folder is out of an ordinary user's reach");
        }
        TempStation s;
        s.writeFile(s.programFile("mheard.txt"), kRows);
        // The station belongs to the ordinary user; the mailbox does not let it in.
        QProcess::execute("chmod", {"-R", "a+rwX", s.root()});
        QProcess::execute("chmod", {"0700", s.mailboxDir()});
        QProcess::execute("chmod", {"0000", s.programFile("kestrel.ini")});
        Child kestrel(bin("KESTREL_BIN"), kestrelArgs(s), nobody);
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.err().contains("Start-up stopped: cannot read"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("MHeard + N2XYZ-9"), 5000);
        QVERIFY(TempStation::readFile(s.programFile("errors.txt")).startsWith("Startup "));
        QFile::remove(s.programFile("mheard.txt"));
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        // The list it had loaded is kept.
        QCOMPARE(TempStation::readFile(s.programFile("mheard.txt")), kRows);

        // Readable settings, unreadable mailbox: it runs, without a call sign.
        QProcess::execute("chmod", {"0644", s.programFile("kestrel.ini")});
        QFile::remove(s.programFile("errors.txt"));
        Child second(bin("KESTREL_BIN"), kestrelArgs(s), nobody);
        QTRY_VERIFY_WITH_TIMEOUT(
            TempStation::readFile(s.programFile("errors.txt")).contains("no host folder"), 5000);
        QVERIFY(TempStation::readFile(s.programFile("errors.txt")).contains("no call sign"));
        second.signal(SIGTERM);
        QCOMPARE(second.finish(), 0);

        // A log folder it may not write in stops start-up, and says so.
        QProcess::execute("chmod", {"0555", s.programFile("Logs_Kestrel")});
        Child third(bin("KESTREL_BIN"), kestrelArgs(s), nobody);
        QTRY_VERIFY_WITH_TIMEOUT(third.err().contains("Start-up stopped: cannot write in"), 5000);
        third.signal(SIGTERM);
        QCOMPARE(third.finish(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
