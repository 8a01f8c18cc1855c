#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/tempstation.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

namespace {
// A gateway on a temporary station, as the program builds it.
struct Run
{
    explicit Run(const TempStation &station)
        : store(station.mailboxDir().toStdString()),
          gateway(ProgramFolder(station.programDir()), store, clock)
    {
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 0, 0)));
    }
    mailbox::DirectoryStore store;
    Clock clock;
    Gateway gateway;
};

QByteArray errors(const TempStation &s)
{
    return TempStation::readFile(s.programFile(QStringLiteral("errors.txt")));
}
} // namespace

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void startUpReadsEverything()
    {
        TempStation s;
        s.writeSettings({"ISS Object= 1", "UnprotoPath=ARISS,WIDE2-1", "RF Port>IGate=All"});
        s.writeFile(s.programFile("positions.txt"), "N1ABC-7   12.3km 45\xb0\r\n");
        s.writeFile(s.programFile("mheard.txt"),
                    "N1ABC-7   06-12-26 13:59:00 RS0ISS*\r\nN2XYZ     06-12-26 13:58:00 \r\n");
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        Gateway &g = r.gateway;
        QCOMPARE(g.positionsList().rows(),
                 QStringList({QString::fromLatin1("N1ABC-7   12.3km 45\xb0")}));
        QCOMPARE(g.mheardList().size(), 2);
        QCOMPARE(g.mheardList().at(1), QStringLiteral("N2XYZ     06-12-26 13:58:00 "));
        QCOMPARE(g.settings().text(F::OwnCall), TempStation::kCall);
        QCOMPARE(g.texts().text(StateTexts::OwnCallText), "CallSign:" + TempStation::kCall);
        QCOMPARE(g.texts().text(StateTexts::FilterDisplay), QStringLiteral("r/49/-72/100"));
        QCOMPARE(g.settings().text(F::HostBeaconText),
                 QStringLiteral("!4903.50N\\07201.75W-Test beacon"));
        QCOMPARE(g.settings().text(F::InternetBeaconText), g.settings().text(F::HostBeaconText));
        QVERIFY(g.connectEnabled());
        QVERIFY(!g.readingSettings());
        QVERIFY(!g.webStartLocked());
        // The stored ISS setting took effect while it was read.
        QVERIFY(g.timer("Timer14").isActive());
        QCOMPARE(g.texts().text(StateTexts::IssCaption), QStringLiteral("+ISS Position Object"));

        QTRY_VERIFY(g.mailbox().idle());
        QCOMPARE(s.mailboxValue("Command", "RXP"), QByteArray("7"));
        QCOMPARE(s.mailboxValue("Command", "TXP"), QByteArray("7"));
        QCOMPARE(s.mailboxValue("Command", "Application"), QByteArray("MyProgram"));
        QCOMPARE(s.mailboxValue("Command", "To"), QByteArray("APKR02"));
        QCOMPARE(s.mailboxValue("Command", "Via"), QByteArray("ARISS,WIDE2-1"));
        QCOMPARE(s.mailboxValue("Command", "Command"), QByteArray("/SETTVF/"));
        QVERIFY(errors(s).isEmpty());
    }

    void loadingFlagsWhileTheSettingsAreRead()
    {
        TempStation s;
        Run r(s);
        bool allLoading = true;
        bool allStarting = true;
        int seen = 0;
        // The settings handlers tell a loaded value from an operator's edit
        // by these flags.
        connect(&r.gateway.settings(), &Settings::changed, this, [&](Settings::Field f) {
            if (f > F::IssObjectOnly)
                return;
            ++seen;
            allLoading = allLoading && r.gateway.readingSettings();
            allStarting = allStarting && r.gateway.webStartLocked();
        });
        r.gateway.start();
        QVERIFY(seen > 10);
        QVERIFY(allLoading);
        QVERIFY(allStarting);
        QVERIFY(!r.gateway.readingSettings());
        QVERIFY(!r.gateway.webStartLocked());
        // After a verified login "Enabled" can stop the web server, not start it.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        r.gateway.settings().setText(F::WebServerPort, port);
        r.gateway.web().setBindAddress(QHostAddress::LocalHost);
        r.gateway.link().loginVerified();
        r.gateway.settings().setCheck(F::WebServerYesNo, false);
        r.gateway.settings().setCheck(F::WebServerYesNo, true);
        QVERIFY(!r.gateway.web().listening());
        r.gateway.settings().setCheck(F::WebServerYesNo, false);
        Run fresh(s); // not logged in: the same tick starts it
        fresh.gateway.settings().setText(F::WebServerPort, port);
        fresh.gateway.web().setBindAddress(QHostAddress::LocalHost);
        fresh.gateway.settings().setCheck(F::WebServerYesNo, false);
        fresh.gateway.settings().setCheck(F::WebServerYesNo, true);
        QVERIFY(fresh.gateway.web().listening());
    }

    void timersOfTheSchedule()
    {
        TempStation s;
        Run r(s);
        Gateway &g = r.gateway;
        g.start();
        struct Expect
        {
            QTimer *timer;
            int interval;
            bool active;
        };
        const Expect table[] = {
            {&g.timer("Timer1"), 30000, true},   {&g.timer("Timer2"), 1000, false},
            {&g.timer("Timer4"), 2000, false},   {&g.timer("Timer5"), 2000, false},
            {&g.timer("Timer6"), 1000, true},    {&g.timer("Timer7"), 2000, true},
            {&g.timer("Timer8"), 10000, false},  {&g.timer("Timer9"), 5000, false},
            {&g.timer("Timer10"), 750, true},    {&g.timer("Timer12"), 150, false},
            {&g.timer("Timer14"), 60000, false}, {&g.timer("Timer15"), 250, false},
            {&g.timer("Timer16"), 1000, true}};
        for (const Expect &e : table) {
            QCOMPARE(e.timer->interval(), e.interval);
            QCOMPARE(e.timer->isActive(), e.active);
        }
        // Enabling a running timer leaves it running as it was.
        QTest::qWait(300);
        const int left = g.timer("Timer6").remainingTime();
        timerswitch::enable(g.timer("Timer6"));
        QVERIFY(g.timer("Timer6").remainingTime() <= left);
        // One-shot timers switch themselves off in their tick.
        g.timer1Tick();
        g.timer10Tick();
        QVERIFY(!g.timer("Timer1").isActive());
        QVERIFY(!g.timer("Timer10").isActive());
    }

    void fatalFailures_data()
    {
        QTest::addColumn<QString>("remove");
        QTest::addColumn<QString>("message");
        QTest::newRow("logs") << "Logs_Kestrel"
                              << "\\Logs_Kestrel folder is missing!";
        QTest::newRow("web") << "Web"
                             << "\\Web folder is missing!";
        QTest::newRow("page") << "Web/server.htm"
                              << "\\Web\\Server.htm file is missing!";
        QTest::newRow("settings") << "kestrel.ini"
                                  << "\\kestrel.ini file is missing!";
    }
    void fatalFailures()
    {
        QFETCH(QString, remove);
        QFETCH(QString, message);
        TempStation s;
        const QString path = s.programFile(remove);
        QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        const QStringList before = s.snapshot();

        Run r(s);
        QSignalSpy fatal(&r.gateway, &Gateway::fatalError);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Fatal);
        QCOMPARE(r.gateway.fatalMessage(), QDir::toNativeSeparators(s.programDir()) + message);
        QVERIFY(r.gateway.timer("Timer12").isActive());
        QVERIFY(!r.gateway.timer("Timer6").isActive());
        QTRY_COMPARE(fatal.size(), 1);
        QCOMPARE(fatal[0][0].toString(), r.gateway.fatalMessage());
        QCOMPARE(s.snapshot(), before);
    }

    void namesUnderTheProgramFolderIgnoreCase()
    {
        TempStation s;
        QVERIFY(QDir(s.programDir()).rename("Web", "web"));
        QVERIFY(QFile::rename(s.programFile("web/server.htm"), s.programFile("web/SERVER.HTM")));
        QVERIFY(QDir(s.programDir()).rename("Logs_Kestrel", "logs_kestrel"));
        QVERIFY(QFile::rename(s.programFile("kestrel.ini"), s.programFile("Kestrel.INI")));
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        QVERIFY(!QFileInfo::exists(s.programFile("Web")));
        QVERIFY(!QFileInfo::exists(s.programFile("logs_kestrel/test.txt")));
    }

    void missingListsAreCreatedEmpty()
    {
        TempStation s;
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        QVERIFY(r.gateway.mheardList().isEmpty());
        QCOMPARE(QFileInfo(s.programFile("mheard.txt")).size(), 0);
        QCOMPARE(QFileInfo(s.programFile("positions.txt")).size(), 0);
    }

    void dishSymbolPutsInTheDigipeaterSymbol()
    {
        TempStation s;
        s.setHost(TempStation::kCall, "=4903.50N\\07201.75W-PHG2360 ISS station");
        s.writeSettings({"Dish Symbol= 1"});
        Run r(s);
        r.gateway.start();
        QCOMPARE(r.gateway.settings().text(F::InternetBeaconText),
                 QStringLiteral("=4903.50N/07201.75W#PHG2360 ISS station"));
        // The check box switches it back and forth.
        r.gateway.settings().setCheck(F::DishSymbol, false);
        QCOMPARE(r.gateway.settings().text(F::InternetBeaconText),
                 QStringLiteral("=4903.50N\\07201.75W-PHG2360 ISS station"));
        // Without the host's text there is no position to mark: no "/#" alone.
        r.gateway.settings().setCheck(F::DishSymbol, true);
        r.gateway.settings().setText(F::HostBeaconText, QString());
        QCOMPARE(r.gateway.settings().text(F::InternetBeaconText), QString());
    }

    void listsKeptByCloseNotByExit()
    {
        TempStation s;
        QTemporaryDir cwd;
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        {
            Run r(s);
            r.gateway.start();
            r.gateway.mheardList().append("N1ABC-7   06-12-26 14:00:00 RS0ISS*");
            r.gateway.positionsList().append(QString::fromLatin1("N1ABC-7   12.3km 45\xb0"));
            QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
            r.gateway.closeMainWindow();
            QCOMPARE(quit.size(), 1);
            QCOMPARE(quit[0][0].toInt(), 0);
        }
        {
            Run r(s);
            r.gateway.start();
            QCOMPARE(r.gateway.mheardList().rows(),
                     QStringList({"N1ABC-7   06-12-26 14:00:00 RS0ISS*"}));
            QCOMPARE(r.gateway.positionsList().size(), 1);
            r.gateway.mheardList().append("N2XYZ     06-12-26 14:01:00 ");
            r.gateway.igatedList().append("N1ABC-7>APRS,qAR,N1IGT-10:");
            r.gateway.igatedList().append("!4903.50N/07201.75W-");
            QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
            r.gateway.exitCommand();
            QCOMPARE(quit.size(), 1);
            QCOMPARE(quit[0][0].toInt(), 0);
        }
        QCOMPARE(TempStation::readFile(cwd.path() + "/estaciones.txt"),
                 QByteArray("N1ABC-7>APRS,qAR,N1IGT-10:\r\n!4903.50N/07201.75W-\r\n"));
        QCOMPARE(TempStation::readFile(s.programFile("mheard.txt")),
                 QByteArray("N1ABC-7   06-12-26 14:00:00 RS0ISS*\r\n"));
        QDir::setCurrent(oldCwd);
    }

    void failedSaveIsReported()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        r.gateway.positionsList().append(QString::fromLatin1("N1ABC-7   12.3km 45\xb0"));
        // A folder where the list file should go: the save cannot succeed.
        QFile::remove(s.programFile("mheard.txt"));
        QDir().mkpath(s.programFile("mheard.txt"));
        QSignalSpy failure(&r.gateway, &Gateway::failure);
        QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
        r.gateway.closeMainWindow();
        QCOMPARE(failure.size(), 1);
        QVERIFY(failure[0][0].toString().contains("MHeard"));
        QCOMPARE(quit[0][0].toInt(), 1);
        // The other list was still saved.
        QCOMPARE(QFileInfo(s.programFile("positions.txt")).size(), 22);
        QVERIFY(errors(s).startsWith("Files "));
    }

    void settingsWrittenWholeOrNotAtAll()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        r.gateway.settings().setText(F::Interval, "900");
        r.gateway.settings().appendDigi("N1ABC-7");
        QVERIFY(r.gateway.writeSettingsFile());
        const QByteArray written = TempStation::readFile(s.programFile("kestrel.ini"));
        QVERIFY(written.contains("\r\nInterval=900\r\n"));
        QVERIFY(written.contains("[IGATE]\r\nDigi List=N1ABC-7\r\nGate Only Direct= 0"));
        // The identity from the host is never written.
        QVERIFY(!written.contains(TempStation::kCall.toLatin1()));

        // When the new file cannot be put in place, the old one stays whole
        // and the operator is told.
        QVERIFY(QFile::rename(s.programFile("kestrel.ini"), s.programFile("kestrel.old")));
        QDir().mkpath(s.programFile("kestrel.ini"));
        QSignalSpy failure(&r.gateway, &Gateway::failure);
        QVERIFY(!r.gateway.writeSettingsFile());
        QCOMPARE(failure.size(), 1);
        QVERIFY(failure[0][0].toString().startsWith("Could not save the settings to "));
        QVERIFY(QFileInfo(s.programFile("kestrel.ini")).isDir());
    }

    void hostTerminatedEndsAtOnceWhenAsked_data()
    {
        QTest::addColumn<QString>("closeZeno");
        QTest::addColumn<bool>("seenRunning");
        QTest::addColumn<bool>("ends");
        QTest::newRow("Close Zeno 1") << "Close Zeno= 1" << true << true;
        QTest::newRow("Close Zeno 0") << "Close Zeno= 0" << true << false;
        // Left by an earlier run of the host: stale.
        QTest::newRow("terminated from the start") << "Close Zeno= 1" << false << false;
    }
    void hostTerminatedEndsAtOnceWhenAsked()
    {
        QFETCH(QString, closeZeno);
        QFETCH(bool, seenRunning);
        QFETCH(bool, ends);
        TempStation s;
        s.writeSettings({closeZeno});
        if (!seenRunning)
            s.setMailboxValue("Status", "String", "Zeno Terminated!");
        Run r(s);
        r.gateway.start();
        r.gateway.timer6Tick();
        r.gateway.mheardList().append("N1ABC-7   06-12-26 14:00:00 ");
        QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
        s.setMailboxValue("Status", "String", "ZENO TERMINATED!");
        r.gateway.timer6Tick();
        QCOMPARE(quit.size(), ends ? 1 : 0);
        if (ends) {
            QCOMPARE(quit[0][0].toInt(), 0);
            QVERIFY(!r.gateway.timer("Timer6").isActive());
            // Nothing was saved, and the log says why the program ended.
            QCOMPARE(QFileInfo(s.programFile("mheard.txt")).size(), 0);
            QVERIFY(
                errors(s).contains("Host 06-12-26 14:00:00 the host reports it has terminated"));
        }
    }

    void commandsNotYetHandedOverAreLoggedAtTheEnd()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        // The transmit addressing waits its turn behind the port selection.
        r.gateway.closeMainWindow();
        QVERIFY(errors(s).contains("Mailbox 06-12-26 14:00:00 ending before this was handed to "
                                   "the host: SETTVF to=APKR02\r\n"));
        QVERIFY(errors(s).contains("handed to the host: SETTVF via=ARISS\r\n"));
        QTest::qWait(2 * HostMailbox::kCommandGapMs + 100);
        QCOMPARE(s.mailboxValue("Command", "Command"), QByteArray("/CHANGEPORT/"));
    }

    void hostFolderWithAnAccentedName()
    {
        TempStation s;
        const QString folder = s.root() + QString::fromUtf8("/zen\u00f6 station");
        QVERIFY(QDir().rename(s.hostDir(), folder));
        s.setMailboxValue("Path", "String", QFile::encodeName(folder));
        Run r(s);
        r.gateway.start();
        QCOMPARE(r.gateway.settings().text(F::HostBeaconText),
                 QStringLiteral("!4903.50N\\07201.75W-Test beacon"));

        // "[APRS]" as the last line gives no beacon text, and says so.
        s.writeFile(folder + "/Zeno.ini", "[General]\r\n[APRS]\r\n");
        Run r2(s);
        r2.gateway.start();
        QVERIFY(r2.gateway.settings().text(F::HostBeaconText).isEmpty());
        QVERIFY(errors(s).contains("has nothing after its [APRS] line"));
        s.writeFile(folder + "/Zeno.ini", "[APRS]\r\n\r\n");
        Run r3(s);
        r3.gateway.start();
        QVERIFY(errors(s).contains("has an empty line after its [APRS] line"));
    }

    void sameFrameTextIsTakenOnce()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        r.gateway.timer6Tick(); // no frame yet: the empty text is never new
        const QByteArray frame = " 1:Fm N1ABC-7 To APRS <UI pid=F0 Len=4 >[14:00:00]\rTest";
        s.setMailboxValue("RXData", "String", frame);
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 1);
        QCOMPARE(r.gateway.lastFrameTaken(), QString::fromLatin1(frame));
        s.setMailboxValue("RXData", "String", QByteArray(frame).replace("14:00:00", "14:00:01"));
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 2);
        // A restart finds that frame still there: heard before this run.
        Run again(s);
        again.gateway.start();
        QSignalSpy retaken(&again.gateway, &Gateway::frameTaken);
        again.gateway.timer6Tick();
        QCOMPARE(retaken.size(), 0);
    }

    void monitorTextLongerThanAnyFrame()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        QByteArray huge(3 << 20, 'x');
        huge.replace(0, 12, " 1:Fm N1ABC\r");
        s.setMailboxValue("RXData", "String", huge);
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 0);
        QCOMPARE(r.gateway.refusals().count(Refusal::OverlongFrame), 1);
        const QByteArray log = errors(s);
        QCOMPARE(log.count("\r\n"), 1);
        QVERIFY(log.startsWith("Frame 06-12-26 14:00:00 a monitor text of 1048576 bytes"));
        QVERIFY(log.contains(" 1:Fm N1ABC\\rxxx"));
    }

    void whatWasIgnoredIsLoggedAndStartUpGoesOn()
    {
        TempStation s;
        s.writeSettings({"Proxy YES/NO=maybe"});
        s.setMailboxValue("Path", "String", "");
        s.setMailboxValue("MyCall", "String", "");
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        const QList<QByteArray> lines = errors(s).split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the last line end
        QVERIFY(lines[0].startsWith("Settings 06-12-26 14:00:00 Proxy YES/NO on line 9"));
        QVERIFY(lines[1].startsWith("Host 06-12-26 14:00:00 the mailbox holds no call sign"));
        QVERIFY(lines[2].startsWith("Host 06-12-26 14:00:00 the mailbox holds no host folder"));
        QCOMPARE(r.gateway.settings().text(F::InternetBeaconText), QString());
        QCOMPARE(r.gateway.settings().text(F::WebServerPort), QStringLiteral("8080"));
    }

    void zenoIniWithoutAprsSection()
    {
        TempStation s;
        s.writeFile(s.hostDir() + "/Zeno.ini", "[General]\r\nCallsign=N1IGT-10\r\n");
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        QVERIFY(errors(s).contains("Zeno.ini has no [APRS] line"));
        QVERIFY(r.gateway.settings().text(F::HostBeaconText).isEmpty());

        // Case does not matter for the host's file name either.
        TempStation t;
        QFile::rename(t.hostDir() + "/Zeno.ini", t.hostDir() + "/ZENO.INI");
        Run r2(t);
        r2.gateway.start();
        QCOMPARE(r2.gateway.settings().text(F::HostBeaconText),
                 QStringLiteral("!4903.50N\\07201.75W-Test beacon"));
    }

    void missingMailboxFolder()
    {
        TempStation s;
        QDir(s.mailboxDir()).removeRecursively();
        Run r(s);
        QCOMPARE(r.gateway.start(), Gateway::StartOutcome::Started);
        r.gateway.timer6Tick();
        QVERIFY(errors(s).contains("Host "));
        QCOMPARE(r.gateway.settings().text(F::OwnCall), QString());
    }

    void mailboxGoneAndBack()
    {
        TempStation s;
        Run r(s);
        r.gateway.start();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        const QByteArray frame = "Fm N1ABC-9 To APRS <UI pid=F0 Len=5 >[12:00:00]\r!test";
        s.setMailboxValue("RXData", "String", frame);
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 1);

        QDir(s.mailboxDir()).removeRecursively();
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(errors(s).count("is missing; frames wait until it is back"), 1);
        // Back with the frame already taken: it is not taken again.
        s.setMailboxValue("RXData", "String", frame);
        r.gateway.timer6Tick();
        QCOMPARE(errors(s).count("the mailbox is back"), 1);
        QCOMPARE(taken.size(), 1);
        s.setMailboxValue("RXData", "String", frame + "2");
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 2);
    }

    void uncleanEndIsSaidAtTheNextStart()
    {
        TempStation s;
        {
            Run killed(s); // never quits, as with kill -9
            killed.gateway.start();
        }
        Run r(s);
        r.gateway.start();
        QCOMPARE(errors(s).count("did not end cleanly"), 1);
        r.gateway.closeMainWindow();
        QVERIFY(!QFileInfo::exists(s.programFile("kestrel.running")));
        Run again(s);
        again.gateway.start();
        QCOMPARE(errors(s).count("did not end cleanly"), 1);
    }

    void activityLogsKeptUnderTheirLimit()
    {
        TempStation s;
        s.writeFile(s.programFile("services.ini"), "[services]\nlog_limit_kb=1\n");
        Run r(s);
        r.gateway.start();
        for (int i = 0; i < 200; ++i) {
            const QString line =
                QStringLiteral("line %1 of the igated log").arg(i, 3, 10, QChar(u'0'));
            QVERIFY(r.gateway.log().appendLog("\\Logs_Kestrel\\igated.txt", {line}));
            QVERIFY(r.gateway.log().appendLog("\\errors.txt", {line}));
        }
        const QByteArray log = TempStation::readFile(s.programFile("Logs_Kestrel/igated.txt"));
        QVERIFY(log.size() <= 1024);
        QVERIFY(log.size() >= 400);
        QVERIFY(log.startsWith("line "));
        QVERIFY(log.endsWith("line 199 of the igated log\r\n"));
        // errors.txt is no activity log: it keeps everything.
        QVERIFY(errors(s).contains("line 000 of"));

        // A limit that is no size is said, and nothing is limited.
        TempStation t;
        t.writeFile(t.programFile("services.ini"), "[services]\nlog_limit_kb=lots\n");
        Run u(t);
        u.gateway.start();
        QCOMPARE(u.gateway.services().logLimitKb, 0);
        QVERIFY(errors(t).contains("log_limit_kb \"lots\""));
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
