// The gateway in-process on a temporary station: start-up, the ways out,
// what it takes from the host's mailbox and what it writes to its logs.

#include "core/settingsfile.h"
#include "support/fixtures.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>

using namespace kestrel;
using F = Settings::Field;
using Outcome = Gateway::StartOutcome;

namespace {
const QString kHeard = QStringLiteral("N1ABC-7   06-12-26 13:59:00 RS0ISS*");
} // namespace

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void startUpReadsEverything()
    {
        InProcess r({"ISS Object= 1", "UnprotoPath=ARISS,WIDE2-1", "RF Port>IGate=All"});
        r.station.writeFile(r.station.programFile("positions.txt"), "N1ABC-7   12.3km 45\xb0\r\n");
        r.station.writeFile(r.station.programFile("mheard.txt"),
                            kHeard.toLatin1() + "\r\nN2XYZ\r\n");
        Gateway &g = r.gateway;
        QStringList commands;
        connect(&g.mailbox(), &HostMailbox::commandWritten, this,
                [&](const QString &summary) { commands << summary; });
        QCOMPARE(r.start(), Outcome::Started);
        QCOMPARE(g.positionsList().rows(),
                 QStringList{QString::fromLatin1("N1ABC-7   12.3km 45\xb0")});
        QCOMPARE(g.mheardList().rows(), QStringList({kHeard, "N2XYZ"}));
        QCOMPARE(g.settings().text(F::OwnCall), TempStation::kCall);
        QCOMPARE(g.texts().text(StateTexts::FilterDisplay), QStringLiteral("r/49/-72/100"));
        QCOMPARE(g.settings().text(F::InternetBeaconText),
                 QStringLiteral("!4903.50N\\07201.75W-Test beacon"));
        // The stored ISS setting took effect as it was read.
        QCOMPARE(g.texts().text(StateTexts::IssCaption), QStringLiteral("+ISS Position Object"));
        QVERIFY(g.timer("Timer14").isActive());
        QTRY_VERIFY(g.mailbox().idle());
        QCOMPARE(commands, QStringList({"CHANGEPORT rxp=7 txp=7", "APPLICATION MyProgram",
                                        "SETTVF to=APKR02", "SETTVF via=ARISS,WIDE2-1"}));
        QVERIFY(errorLines(r.station).isEmpty());
        // Switching on a running timer is no restart.
        QTRY_VERIFY(g.timer("Timer6").remainingTime() < 900);
        timerswitch::enable(g.timer("Timer6"));
        QVERIFY(g.timer("Timer6").remainingTime() < 900);
    }

    // A missing folder or file ends start-up and touches nothing; a name
    // differing only in case is the same name.
    void requiredFoldersAndFiles_data()
    {
        for (const char *column : {"from", "to", "fatal"})
            QTest::addColumn<QString>(column);
        const auto add = [](const char *name, const char *from, const char *to, const char *fatal) {
            QTest::newRow(name) << QString(from) << QString(to) << QString(fatal);
        };
        add("logs", "Logs_Kestrel", "", "\\Logs_Kestrel folder is missing!");
        add("web", "Web", "", "\\Web folder is missing!");
        add("page", "Web/server.htm", "", "\\Web\\Server.htm file is missing!");
        add("settings", "kestrel.ini", "", "\\kestrel.ini file is missing!");
        add("folder in lower case", "Web", "web", "");
        add("file in capitals", "Web/server.htm", "Web/SERVER.HTM", "");
    }
    void requiredFoldersAndFiles()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, fatal);
        InProcess r;
        const QString path = r.station.programFile(from);
        if (to.isEmpty())
            QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        else
            QVERIFY(QDir().rename(path, r.station.programFile(to)));
        const QStringList before = r.station.snapshot();
        QSignalSpy fatalError(&r.gateway, &Gateway::fatalError);
        QCOMPARE(r.start(), fatal.isEmpty() ? Outcome::Started : Outcome::Fatal);
        if (fatal.isEmpty()) {
            // Nothing made under the name as written, the probe gone, the
            // lists that were not there there and empty.
            QVERIFY(!QFileInfo::exists(path) && r.station.snapshot().filter("test.txt").isEmpty());
            QVERIFY(r.station.snapshot().contains(r.station.programFile("mheard.txt") + '='));
            return;
        }
        const QString message = QDir::toNativeSeparators(r.station.programDir()) + fatal;
        QCOMPARE(r.gateway.fatalMessage(), message);
        QTRY_COMPARE(fatalError.size(), 1);
        QCOMPARE(fatalError[0][0].toString(), message);
        QCOMPARE(r.station.snapshot(), before);
    }

    // The host's beacon text is the line after [APRS] in its Zeno.ini, in
    // the folder the mailbox names; with "Dish Symbol" the Internet beacon
    // carries the digipeater symbol.
    void hostBeaconText_data()
    {
        for (const char *column : {"folder", "ini", "error", "beacon"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<bool>("dish");
        const QString line = QStringLiteral("!4903.50N\\07201.75W-Test beacon");
        const QString ini = "[General]\r\n[APRS]\r\n" + line + "\r\n";
        const auto add = [](const char *name, const QString &folder, const QString &content,
                            const QString &error, const QString &beacon, bool dish = false) {
            QTest::newRow(name) << folder << content << error << beacon << dish;
        };
        add("accented folder", QString::fromUtf8("zen\u00f6 st"), ini, "", line);
        add("dish symbol", "zeno", "[APRS]\r\n=4903.50N\\07201.75W-PHG2360 ISS\r\n", "",
            "=4903.50N/07201.75W#PHG2360 ISS", true);
        add("no [APRS]", "zeno", "[General]\r\n", "INI has no [APRS] line", "");
        add("nothing after it", "zeno", "[APRS]\r\n", "INI has nothing after its [APRS] line", "");
        // The symbol asked for, but no position to put it in.
        add("empty line after it", "zeno", "[APRS]\r\n\r\n",
            "INI has an empty line after its [APRS] line", "", true);
    }
    void hostBeaconText()
    {
        QFETCH(QString, folder);
        QFETCH(QString, ini);
        QFETCH(QString, error);
        QFETCH(QString, beacon);
        QFETCH(bool, dish);
        InProcess r({dish ? "Dish Symbol= 1" : "Dish Symbol= 0"});
        const QString dir = r.station.root() + '/' + folder;
        QVERIFY(dir == r.station.hostDir() || QDir().rename(r.station.hostDir(), dir));
        r.station.writeFile(dir + "/Zeno.ini", ini.toLatin1());
        r.station.setMailboxValue("Path", "String", QFile::encodeName(dir));
        r.start();
        const Settings &s = r.gateway.settings();
        QCOMPARE(s.text(F::InternetBeaconText), beacon);
        const QString without = "; running without the host beacon text, so no position beacon "
                                "is sent and no distance computed";
        QCOMPARE(errorLines(r.station),
                 error.isEmpty()
                     ? QStringList()
                     : QStringList{"Host " + error.replace("INI", dir + "/Zeno.ini") + without});
        if (dish && !beacon.isEmpty()) { // the check box switches it back
            r.gateway.settings().setCheck(F::DishSymbol, false);
            QCOMPARE(s.text(F::InternetBeaconText), s.text(F::HostBeaconText));
        }
    }

    // Values read from kestrel.ini are no operator's edits: the proxy's
    // format is not checked and "Enabled" starts no web server (Timer10
    // does). After a verified login "Enabled" can stop it, not start it.
    void settingsReadAreNoEdits()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        InProcess r({"Web Server YES/NO= 1", "Web Server Port=" + port, "Proxy YES/NO= 1"});
        Gateway &g = r.gateway;
        g.web().setBindAddress(QHostAddress::LocalHost);
        QSignalSpy hint(&g, &Gateway::information);
        r.start();
        QVERIFY(g.settings().isOn(F::ProxyYesNo) && hint.isEmpty() && !g.web().listening());
        g.timer10Tick();
        QVERIFY(g.web().listening() && !g.timer("Timer10").isActive());
        g.link().loginVerified();
        g.settings().setCheck(F::WebServerYesNo, false);
        QVERIFY(!g.web().listening());
        g.settings().setCheck(F::WebServerYesNo, true);
        QVERIFY(!g.web().listening());
    }

    // Closing the window saves the lists, each on its own, and ends the run
    // cleanly.
    void listsSavedByClose()
    {
        InProcess r;
        r.start();
        r.gateway.positionsList().append("N1ABC-7   12.3km");
        // A folder where mheard.txt goes: that save cannot succeed.
        const QString mheard = r.station.programFile("mheard.txt");
        QVERIFY(QFile::remove(mheard) && QDir().mkpath(mheard));
        QSignalSpy failure(&r.gateway, &Gateway::failure);
        QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
        r.gateway.closeMainWindow();
        QCOMPARE(quit.takeFirst().at(0).toInt(), 1);
        QCOMPARE(r.file("positions.txt"), QByteArray("N1ABC-7   12.3km\r\n"));
        const QString message = failure.takeFirst().at(0).toString();
        QVERIFY(message.startsWith("Could not save the MHeard list to " + mheard + ": "));
        // What still waited for the host is dropped, and said.
        QVERIFY(r.gateway.mailbox().idle());
        QCOMPARE(r.station.mailboxValue("Command", "Command"), QByteArray("/CHANGEPORT/"));
        const QString dropped = "Mailbox ending before this was handed to the host: SETTVF ";
        QCOMPARE(errorLines(r.station),
                 QStringList({"Files " + message, dropped + "to=APKR02", dropped + "via=ARISS"}));
        QVERIFY(!QFileInfo::exists(r.station.programFile("kestrel.running")));
    }

    void settingsWrittenWholeOrNotAtAll()
    {
        InProcess r;
        r.start();
        r.gateway.settings().setText(F::Interval, "900");
        QVERIFY(r.gateway.writeSettingsFile());
        QCOMPARE(r.file("kestrel.ini"), settingsfile::write(r.gateway.settings()));
        // The identity from the host is never written.
        QVERIFY(!r.file("kestrel.ini").contains(TempStation::kCall.toLatin1()));

        // When the new file cannot be put in place the old one stays whole.
        const QString path = r.station.programFile("kestrel.ini");
        QVERIFY(QFile::rename(path, path + ".old") && QDir().mkpath(path));
        QSignalSpy failure(&r.gateway, &Gateway::failure);
        QVERIFY(!r.gateway.writeSettingsFile());
        QVERIFY(failure.takeFirst().at(0).toString().startsWith("Could not save the settings to "));
        QVERIFY(QFileInfo(path).isDir());
    }

    // "Close when Zeno ends": the host's "terminated" ends the run, unless it
    // was there before the host was seen running (left by an earlier run).
    void hostTerminated_data()
    {
        QTest::addColumn<bool>("closeZeno");
        QTest::addColumn<bool>("seenRunning");
        QTest::newRow("asked") << true << true;
        QTest::newRow("not asked") << false << true;
        QTest::newRow("terminated from the start") << true << false;
    }
    void hostTerminated()
    {
        QFETCH(bool, closeZeno);
        QFETCH(bool, seenRunning);
        const bool ends = closeZeno && seenRunning;
        InProcess r({closeZeno ? "Close Zeno= 1" : "Close Zeno= 0"});
        if (!seenRunning)
            r.station.setMailboxValue("Status", "String", "Zeno Terminated!");
        r.start();
        r.gateway.timer6Tick();
        r.gateway.mheardList().append(kHeard);
        QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
        r.station.setMailboxValue("Status", "String", "ZENO TERMINATED!");
        r.gateway.timer6Tick();
        QCOMPARE(quit.size(), ends ? 1 : 0);
        // At once, saving nothing, and the log says why.
        QCOMPARE(r.file("mheard.txt"), QByteArray());
        QCOMPARE(errorLines(r.station).contains(
                     "Host the host reports it has terminated; ending as \"Close when Zeno "
                     "ends\" asks, without saving the lists"),
                 ends);
    }

    void sameFrameTextTakenOnce()
    {
        InProcess r;
        r.start();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        r.gateway.timer6Tick(); // the empty text is never new
        const QString frame = sample::monitor("N1ABC-7", "!test");
        r.hostHears(frame);
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 1);
        QCOMPARE(r.gateway.lastFrameTaken(), QString::fromLatin1(sample::unescaped(frame)));

        // A monitor text far longer than any frame is refused, and said once.
        QByteArray huge(3 << 20, 'x');
        r.station.setMailboxValue("RXData", "String", huge.replace(0, 12, " 1:Fm N1ABC\r"));
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 1);
        QCOMPARE(r.gateway.refusals().count(Refusal::OverlongFrame), 1);
        QCOMPARE(errorLines(r.station),
                 QStringList{"Frame a monitor text of 1048576 bytes is longer than any frame; "
                             "ignored:  1:Fm N1ABC\\r" +
                             QString(68, 'x')});

        // A restart, after a run that never ended (as with kill -9), says so,
        // and finds the frame still there: heard before this run.
        r.hostHears(sample::monitor("N1ABC-7", "!test2"));
        Gateway again(ProgramFolder(r.station.programDir()), r.store, r.clock);
        again.start();
        QSignalSpy retaken(&again, &Gateway::frameTaken);
        again.timer6Tick();
        QCOMPARE(retaken.size(), 0);
        QCOMPARE(errorLines(r.station).filter("Startup "),
                 QStringList{"Startup the run started 06-12-26 14:00:00 by process " +
                             QString::number(QCoreApplication::applicationPid()) +
                             " did not end cleanly (killed or crashed); the lists are as they "
                             "were last saved"});
    }

    // The mailbox missing at the start, then there, gone and back again.
    void mailboxGoneAndBack()
    {
        InProcess r;
        QVERIFY(QDir(r.station.mailboxDir()).removeRecursively());
        QCOMPARE(r.start(), Outcome::Started);
        r.gateway.mailbox().flush();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        const QString frame = sample::monitor("N1ABC-9", "!test");
        for (int pass = 0; pass < 2; ++pass) {
            QVERIFY(QDir(r.station.mailboxDir()).removeRecursively());
            r.gateway.timer6Tick();
            r.gateway.timer6Tick();
            // Back with the frame already taken: it is not taken again.
            r.hostHears(frame);
            r.gateway.timer6Tick();
            QCOMPARE(taken.size(), 1);
        }
        r.hostHears(sample::monitor("N1ABC-9", "!test2"));
        r.gateway.timer6Tick();
        QCOMPARE(taken.size(), 2);
        const QString gone = "Mailbox the mailbox folder " + r.station.mailboxDir() +
                             " is missing; frames wait until it is back";
        const QString back = "Mailbox the mailbox is back; reading frames again";
        QCOMPARE(errorLines(r.station).filter("Mailbox "), QStringList({gone, back, gone, back}));
    }

    // Logs under Logs_Kestrel lose their older half at the limit; errors.txt
    // keeps everything, and says what in services.ini was no good.
    void activityLogsUnderTheirLimit()
    {
        InProcess r;
        const QString services = r.station.programFile("services.ini");
        r.station.writeFile(services, "[services]\nlog_limit_kb=1\naprs_lookup_host=\n");
        r.start();
        for (int i = 0; i < 200; ++i) {
            const QString line = QStringLiteral("line %1 of the log").arg(i, 3, 10, QChar(u'0'));
            QVERIFY(r.gateway.log().appendLog("\\Logs_Kestrel\\igated.txt", {line}));
            QVERIFY(r.gateway.log().appendLog("\\errors.txt", {line}));
        }
        const QByteArray log = r.file("Logs_Kestrel/igated.txt");
        QVERIFY(log.size() <= 1024 && log.size() >= 400 && log.startsWith("line "));
        QVERIFY(log.endsWith("line 199 of the log\r\n"));
        QVERIFY(r.file("errors.txt").contains("line 000 of the log\r\n"));
        QCOMPARE(errorLines(r.station).first(),
                 "Settings " + services +
                     ": aprs_lookup_host is empty; the default www.findu.com is used");
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
