// kestrel --headless when the world around it fails. It keeps going, says
// so once in errors.txt, and comes back. Built twice: integration_faults, and
// integration_faults_slow (KESTREL_FAULTS_SLOW) for the silent server, which
// takes over three minutes.

#include "support/fixtures.h"

#include <QDir>
#include <QRegularExpression>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace {

using sample::gated;
using sample::monitor;

// A mount over one folder for part of a test, undone however the test ends.
struct Mount
{
    QByteArray path;
    bool mounted = false;
    ~Mount() { undo(); }
    bool bindReadOnly()
    {
        mounted = ::mount(path, path, nullptr, MS_BIND, nullptr) == 0;
        return mounted &&
               ::mount(nullptr, path, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    bool tmpfs() { return mounted = ::mount("tmpfs", path, "tmpfs", 0, "size=64k") == 0; }
    void undo()
    {
        if (std::exchange(mounted, false) && ::umount2(path, 0) != 0)
            ::umount2(path, MNT_DETACH);
    }
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
#ifndef KESTREL_FAULTS_SLOW
    // The listener and the link go at once; the attempts meanwhile are
    // refused; when the server is back the login goes again, byte for byte.
    void serverGoneAndBack()
    {
        auto server = std::make_unique<AprsIsTestServer>();
        QVERIFY(server->listen());
        const quint16 port = server->port();
        const QString to = "127.0.0.1:" + QString::number(port);
        Headless h({"APRS-IS Port=" + QString::number(port)});
        h.start();
        QTRY_VERIFY_WITH_TIMEOUT(server->loggedIn(), 5000);
        server.reset();
        QVERIFY(h.errorsSay("APRS-IS no link to " + to + ": Connection refused", 20000));
        server = std::make_unique<AprsIsTestServer>();
        QVERIFY(server->listen(port));
        QTRY_VERIFY_WITH_TIMEOUT(server->loggedIn(), 20000);
        QCOMPARE(server->raw(), sample::kLogin + "\r\n");
        QCOMPARE(
            errorLines(h.station),
            QStringList({"APRS-IS lost the link to " + to + ": the server closed the connection",
                         "APRS-IS no link to " + to + ": Connection refused",
                         "APRS-IS logged in to " + to + " again"}));
        QCOMPARE(h.stop(), 0);
    }

    // The host's folder goes: frames wait, said once, and kestrel does not
    // make the folder itself. Its return is the in-process gateway's test.
    void mailboxFolderVanishes()
    {
        Headless h;
        h.start({});
        QVERIFY(h.says("Host: "));
        QVERIFY(QDir(h.station.mailboxDir()).removeRecursively());
        const QString missing = "Mailbox the mailbox folder " + h.station.mailboxDir() +
                                " is missing; frames wait until it is back";
        QVERIFY(h.errorsSay(missing));
        // Later polls show nothing to wait for; let a few of them pass.
        QTest::qWait(2500);
        QCOMPARE(h.stop(), 0);
        QVERIFY2(!QFileInfo::exists(h.station.mailboxDir()), "kestrel made the mailbox itself");
        QCOMPARE(errorLines(h.station), QStringList{missing});
    }

    void logFolderReadOnlyThenFull()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to mount over the log folder");
        Headless h({"Log IGated= 1"});
        h.start();
        QVERIFY(h.loggedIn());
        const QString logs = h.station.programFile("Logs_Kestrel");
        const QString failed = "Logs could not write " + logs + "/igated.txt: ";
        const auto gate = [&](const QString &info) {
            return h.take(monitor("N1ABC-7", info)) && h.serverGot(gated("N1ABC-7", info));
        };

        Mount mount{QFile::encodeName(logs)};
        if (!mount.bindReadOnly())
            QSKIP("cannot mount here (no CAP_SYS_ADMIN?)");
        QVERIFY(gate(">read-only 1") && gate(">read-only 2"));
        QTRY_COMPARE(errorLines(h.station).filter(failed).size(), 1);
        mount.undo();
        QVERIFY(gate(">logged 2"));
        QVERIFY(h.errorsSay("Logs writing " + logs + "/igated.txt again"));
        const QByteArray kept = h.file("Logs_Kestrel/igated.txt");
        QVERIFY(kept.endsWith("\r\n>logged 2\r\n") && !kept.contains("read-only"));

        // A full disk: the log's last page has 30 bytes left and no page
        // more is free, so the next entry would be written in part.
        if (!mount.tmpfs())
            QSKIP("cannot mount a tmpfs here");
        QByteArray lines;
        while (lines.size() < 4096 - 30 - 64)
            lines += QByteArray(62, 'x') + "\r\n";
        lines += QByteArray(4096 - 30 - lines.size() - 2, 'y') + "\r\n";
        h.station.writeFile(logs + "/igated.txt", lines);
        QFile filler(logs + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) == 4096) {
        }
        filler.close();
        QVERIFY(gate(">disk full 1") && gate(">disk full 2"));
        QTRY_COMPARE(errorLines(h.station).filter(failed).size(), 2);
        QCOMPARE(h.file("Logs_Kestrel/igated.txt"), lines);
        mount.undo();

        QCOMPARE(errorLines(h.station).filter(QRegularExpression("^Logs ")).size(), 3);
        QCOMPARE(h.stop(), 0);
        QCOMPARE(h.file("Logs_Kestrel/igated.txt"), kept);
    }

    // Killed at points through the save: each list is either the old one or
    // the new one, whole.
    void killedWhileSavingTheLists()
    {
        constexpr int kRows = 20000; // big enough that writing takes a while
        const QByteArray heard =
            QDateTime::currentDateTime().addSecs(-60).toString("dd-MM-yy HH:mm:ss").toLatin1();
        QByteArray mheard, positions;
        for (int i = 0; i < kRows; ++i) {
            const QByteArray call = ("K" + QByteArray::number(i)).leftJustified(10);
            mheard += call + heard + " \r\n";
            positions += call + QByteArray::number(i % 900) + ".0km 90\xb0\r\n";
        }
        // The new list is the old one with the one new row, every line whole.
        const auto outcome = [](const QByteArray &now, const QByteArray &old) {
            const bool whole = now.endsWith("\r\n") && now.count('\n') == now.count("\r\n");
            return now == old ? "old" : whole && now.count('\n') == kRows + 1 ? "new" : "torn";
        };
        Headless h;
        QStringList outcomes;
        for (int delayMs : {0, 1, 2, 3, 5, 8, 12, 17, 25, 35, 50}) {
            h.station.writeFile(h.station.programFile("mheard.txt"), mheard);
            h.station.writeFile(h.station.programFile("positions.txt"), positions);
            h.start({});
            QVERIFY(h.says("Host: "));
            QVERIFY(
                h.take(monitor("N1ABC-7", "!4910.00N/07210.00W-Test " + QString::number(delayMs))));
            QVERIFY(h.says("\nPosition Beacons + N1ABC-7"));
            h.kestrel->signal(SIGTERM);
            // The delay is the point: where in the save the kill lands.
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            h.kestrel->signal(SIGKILL);
            const int status = h.kestrel->finish(10000);
            QVERIFY2(status == 0 || status == -2, qPrintable(QString::number(status)));
            outcomes << QStringLiteral("%1 ms: %2/%3")
                            .arg(delayMs)
                            .arg(outcome(h.file("mheard.txt"), mheard),
                                 outcome(h.file("positions.txt"), positions));
            QVERIFY2(!outcomes.last().contains("torn"), qPrintable(outcomes.last()));
        }
        qInfo("%s", qPrintable(outcomes.join(QStringLiteral(", "))));
    }
#else
    void silentServerIsLeft()
    {
        Headless h;
        h.start();
        QVERIFY(h.loggedIn(8000));
        const QString to = "127.0.0.1:" + QString::number(h.server.port());
        // The link stays open; nothing more comes, not even a keepalive.
        h.server.setSilent(true);
        const qint64 lastLine = h.server.received().last().ms;
        QTRY_VERIFY_WITH_TIMEOUT(!h.server.clientConnected(), 140000);
        const qint64 noticed = h.server.elapsed() - lastLine;
        QVERIFY2(noticed > 114000 && noticed < 130000, qPrintable(QString::number(noticed)));
        const QString lost =
            "APRS-IS lost the link to " + to + ": no line from the server for 120 s";
        QCOMPARE(errorLines(h.station), QStringList{lost});
        // It connects again and waits; the server stays silent until three
        // minutes have passed (a stretch nothing marks), then greets it.
        QTRY_COMPARE_WITH_TIMEOUT(h.server.connections(), 2, 20000);
        QTest::qWait(int(qMax<qint64>(0, lastLine + 180000 - h.server.elapsed())));
        QVERIFY(h.running());
        QVERIFY(!h.server.loggedIn());
        h.server.setSilent(false);
        h.server.pushLines({h.server.banner.toLatin1()});
        QVERIFY(h.loggedIn());
        QCOMPARE(h.server.raw(), sample::kLogin + "\r\n");
        QCOMPARE(errorLines(h.station),
                 QStringList({lost, "APRS-IS logged in to " + to + " again"}));
        QCOMPARE(h.stop(), 0);
    }
#endif
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
