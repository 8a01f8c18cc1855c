// The in-process gateway: start-up, the ways out, frames taken, its logs.

#include "support/fixtures.h"

#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>

using namespace kestrel;
using F = Settings::Field;
using Outcome = Gateway::StartOutcome;

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    // The beacon text: the line after [APRS] in the host folder's Zeno.ini.
    void startUpReadsEverything()
    {
        QTcpServer probe; // for a free port
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        InProcess r({"ISS Object= 1", "UnprotoPath=ARISS,WIDE2-1", "RF Port>IGate=All",
                     "Dish Symbol= 1", "Proxy YES/NO= 1", "Web Server YES/NO= 1",
                     "Web Server Port=" + QString::number(probe.serverPort())});
        probe.close();
        TempStation &s = r.station;
        const QString heard = QStringLiteral("N1ABC-7   06-12-26 13:59:00 RS0ISS*");
        s.writeFile(s.programFile("positions.txt"), "N1ABC-7   12.3km 45\xb0\r\n");
        s.writeFile(s.programFile("mheard.txt"), heard.toLatin1() + "\r\nN2XYZ\r\n");
        s.writeFile(s.programFile("services.ini"),
                    "[services]\nlog_limit_kb=1\naprs_lookup_host=\niss_source=Elements\n"
                    "satellites=SO-50\n");
        const QString host = s.root() + QString::fromUtf8("/zen\u00f6 st");
        QVERIFY(QDir().rename(s.hostDir(), host));
        s.setMailboxValue("Path", "String", QFile::encodeName(host));
        Gateway &g = r.gateway;
        g.web().setBindAddress(QHostAddress::LocalHost);
        QSignalSpy hint(&g, &Gateway::information);
        QStringList commands;
        connect(&g.mailbox(), &HostMailbox::commandWritten, this,
                [&](const QString &summary) { commands << summary; });
        QCOMPARE(r.start(), Outcome::Started);
        QVERIFY(s.snapshot().filter("test.txt").isEmpty()); // the folders' probes gone
        QCOMPARE(g.positionsList().rows() + g.mheardList().rows(),
                 QStringList({QString::fromLatin1("N1ABC-7   12.3km 45\xb0"), heard, "N2XYZ"}));
        QCOMPARE(g.settings().text(F::InternetBeaconText),
                 QStringLiteral("!4903.50N/07201.75W#Test beacon"));
        g.settings().setCheck(F::DishSymbol, false);
        QCOMPARE(g.settings().text(F::InternetBeaconText),
                 QStringLiteral("!4903.50N\\07201.75W-Test beacon"));
        QVERIFY(g.timer("Timer14").isActive());
        QTRY_VERIFY(g.mailbox().idle());
        QCOMPARE(commands, QStringList({"CHANGEPORT rxp=7 txp=7", "APPLICATION MyProgram",
                                        "SETTVF to=APKR02", "SETTVF via=ARISS,WIDE2-1"}));
        const QString services = "Settings " + s.programFile("services.ini");
        QCOMPARE(errorLines(s),
                 QStringList({services + ": aprs_lookup_host is empty; the default "
                                         "www.findu.com is used",
                              services + ": iss_source is elements, but satellites does not "
                                         "name the ISS; its position cannot be computed"}));
        // Logs_Kestrel logs lose their older half at the limit; errors.txt keeps all.
        for (int i = 0; i < 100; ++i)
            for (const char *log : {"\\Logs_Kestrel\\igated.txt", "\\errors.txt"})
                QVERIFY(g.log().appendLog(log, {"line " + QString::number(1000 + i)}));
        const QByteArray log = r.file("Logs_Kestrel/igated.txt");
        QVERIFY(log.size() <= 1024 && log.size() >= 400 && log.startsWith("line "));
        QVERIFY(log.endsWith("line 1099\r\n") && r.file("errors.txt").contains("line 1000\r\n"));
        // What was read is no edit: no proxy format hint, no web server till Timer10.
        // After a verified login "Enabled" can stop it, not start it.
        QVERIFY(g.settings().isOn(F::ProxyYesNo) && hint.isEmpty() && !g.web().listening());
        g.timer10Tick();
        QVERIFY(g.web().listening() && !g.timer("Timer10").isActive());
        g.link().loginVerified();
        g.settings().setCheck(F::WebServerYesNo, false);
        QVERIFY(!g.web().listening());
        g.settings().setCheck(F::WebServerYesNo, true);
        QVERIFY(!g.web().listening());
        // When the new kestrel.ini cannot be put in place the old one stays.
        const QString ini = s.programFile("kestrel.ini");
        QVERIFY(QFile::rename(ini, ini + ".old") && QDir().mkpath(ini));
        QSignalSpy failure(&g, &Gateway::failure);
        QVERIFY(!g.writeSettingsFile() && QFileInfo(ini).isDir());
        QVERIFY(failure.value(0).value(0).toString().startsWith("Could not save the settings to "));
    }

    // A missing folder or file ends start-up, touching nothing; a host Zeno.ini
    // without a beacon line is said, and the run goes on without any beacon.
    void startUpProblems_data()
    {
        QTest::addColumn<QString>("file");       // under the station's root
        QTest::addColumn<QByteArray>("content"); // none: the file or folder removed
        const auto add = [](const char *said, const char *file, const QByteArray &content = {}) {
            QTest::newRow(said) << QString(file) << content;
        };
        add("\\Logs_Kestrel folder is missing!", "program/Logs_Kestrel");
        add("\\Web folder is missing!", "program/Web");
        add("\\Web\\Server.htm file is missing!", "program/Web/server.htm");
        add("\\kestrel.ini file is missing!", "program/kestrel.ini");
        add("has no [APRS] line", "zeno/Zeno.ini", "[General]\r\n");
        add("has nothing after its [APRS] line", "zeno/Zeno.ini", "[APRS]\r\n");
        add("has an empty line after its [APRS] line", "zeno/Zeno.ini", "[APRS]\r\n\r\n");
    }
    void startUpProblems()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        const QString said = QTest::currentDataTag();
        InProcess r({"Dish Symbol= 1"});
        const QString path = r.station.root() + '/' + file;
        if (!content.isNull())
            r.station.writeFile(path, content);
        else
            QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        const QStringList before = r.station.snapshot();
        QSignalSpy fatalError(&r.gateway, &Gateway::fatalError);
        const bool fatal = content.isNull();
        QCOMPARE(r.start(), fatal ? Outcome::Fatal : Outcome::Started);
        if (fatal) {
            QTRY_COMPARE(fatalError.value(0).value(0).toString(),
                         QDir::toNativeSeparators(r.station.programDir()) + said);
            QCOMPARE(r.station.snapshot(), before);
            return;
        }
        QCOMPARE(r.gateway.settings().text(F::InternetBeaconText), QString());
        QCOMPARE(errorLines(r.station),
                 QStringList{"Host " + path + ' ' + said +
                             "; running without the host beacon text, so no position beacon is "
                             "sent and no distance computed"});
    }

    // Close saves each list on its own (a failure: status 1); Exit only IGated, to
    // ./estaciones.txt; the host's "terminated", seen after it ran, ends the run
    // saving nothing when asked. What still waited for the host is dropped, said.
    void waysOut_data()
    {
        QTest::addColumn<int>("status");   // -1: the run goes on
        QTest::addColumn<QString>("said"); // how errors.txt starts
        const auto add = [](const char *way, int status, const QString &said = {}) {
            QTest::newRow(way) << status << said;
        };
        add("close", 1, "Files Could not save the MHeard list to %1: ");
        add("exit", 0);
        add("host ended", 0,
            "Host the host reports it has terminated; ending as \"Close when Zeno ends\" asks, "
            "without saving the lists");
        add("host ended, not asked", -1);
        add("host ended before", -1);
    }
    void waysOut()
    {
        QFETCH(int, status);
        QFETCH(QString, said);
        const QByteArray way = QTest::currentDataTag();
        InProcess r({way.endsWith("not asked") ? "Close Zeno= 0" : "Close Zeno= 1"});
        if (way.endsWith("before"))
            r.station.setMailboxValue("Status", "String", "Zeno Terminated!");
        r.start();
        r.gateway.timer6Tick();
        r.gateway.positionsList().append("N1ABC-7   12.3km");
        r.gateway.igatedList().append("N1ABC-7>APRS,qAR,N1IGT-10:!test");
        const QString mheard = r.station.programFile("mheard.txt");
        QVERIFY(QFile::remove(mheard) && QDir().mkpath(mheard)); // no save can succeed
        QSignalSpy failure(&r.gateway, &Gateway::failure);
        QSignalSpy quit(&r.gateway, &Gateway::quitRequested);
        const QString before = QDir::currentPath(); // estaciones.txt goes to the working folder
        QDir::setCurrent(r.station.root());
        const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
        if (way == "close")
            r.gateway.closeMainWindow();
        else if (way == "exit")
            r.gateway.exitCommand();
        else
            r.station.setMailboxValue("Status", "String", "ZENO TERMINATED!");
        r.gateway.timer6Tick();
        QCOMPARE(quit, status < 0 ? QList<QVariantList>() : QList<QVariantList>{{status}});
        QCOMPARE(r.file("positions.txt"), way == "close" ? "N1ABC-7   12.3km\r\n" : QByteArray());
        QCOMPARE(TempStation::readFile(r.station.root() + "/estaciones.txt"),
                 way == "exit" ? "N1ABC-7>APRS,qAR,N1IGT-10:!test\r\n" : QByteArray());
        QCOMPARE(failure.size(), way == "close" ? 1 : 0);
        const QStringList lines = errorLines(r.station);
        QVERIFY(said.isEmpty() || lines.value(0).startsWith(said.arg(mheard)));
        const QString dropped = "Mailbox ending before this was handed to the host: SETTVF ";
        QCOMPARE(lines.mid(said.isEmpty() ? 0 : 1),
                 (status < 0 ? QStringList()
                             : QStringList{dropped + "to=APKR02", dropped + "via=ARISS"}));
        QCOMPARE(QFileInfo::exists(r.station.programFile("kestrel.running")), status < 0);
    }

    // A frame text is taken once, even across the mailbox going and coming back
    // (each said); one longer than any frame is refused, said once. The start
    // after a run that never ended says so and takes no frame heard before it.
    void framesTakenOnce()
    {
        InProcess r;
        QVERIFY(QDir(r.station.mailboxDir()).removeRecursively());
        QCOMPARE(r.start(), Outcome::Started);
        r.gateway.mailbox().flush();
        QSignalSpy taken(&r.gateway, &Gateway::frameTaken);
        const QString frame = sample::monitor("N1ABC-7", "!test");
        for (int pass = 0; pass < 2; ++pass) {
            QVERIFY(QDir(r.station.mailboxDir()).removeRecursively());
            r.gateway.timer6Tick();
            r.gateway.timer6Tick();
            r.hostHears(frame);
            r.gateway.timer6Tick();
        }
        r.station.setMailboxValue("RXData", "String", " 1:Fm N1ABC\r" + QByteArray(2100, 'x'));
        r.gateway.timer6Tick();
        r.gateway.timer6Tick();
        QCOMPARE(taken, QList<QVariantList>{{QString::fromLatin1(sample::unescaped(frame))}});
        const QString gone = "Mailbox the mailbox folder " + r.station.mailboxDir() +
                             " is missing; frames wait until it is back";
        const QString back = "Mailbox the mailbox is back; reading frames again";
        QCOMPARE(errorLines(r.station).mid(2), // after no call sign, no host folder
                 QStringList({gone, back, gone, back,
                              "Frame a monitor text of 2112 bytes is longer than any frame; "
                              "ignored:  1:Fm N1ABC\\r" +
                                  QString(68, 'x')}));

        r.hostHears(sample::monitor("N1ABC-7", "!test2"));
        Gateway again(ProgramFolder(r.station.programDir()), r.store, r.clock);
        QSignalSpy retaken(&again, &Gateway::frameTaken);
        again.start();
        again.timer6Tick();
        QVERIFY(retaken.isEmpty());
        QCOMPARE(errorLines(r.station).filter("Startup "),
                 QStringList{"Startup the run started 06-12-26 14:00:00 by process " +
                             QString::number(QCoreApplication::applicationPid()) +
                             " did not end cleanly (killed or crashed); the lists are as they "
                             "were last saved"});
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
