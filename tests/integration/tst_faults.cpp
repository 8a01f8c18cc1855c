// kestrel --headless when the world around it fails: it goes on, says so once
// in errors.txt, and comes back (KESTREL_FAULTS_SLOW: the server silent 3 min).

#include "support/fixtures.h"

#include <QDir>
#include <QScopeGuard>
#include <sys/mount.h>
#include <thread>

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
#ifndef KESTREL_FAULTS_SLOW
    // The host's folder goes: frames wait, said once, and kestrel does not make
    // it itself. Then the server goes: attempts meanwhile are refused, and when
    // it is back the login goes again, byte for byte.
    void mailboxAndServerGone()
    {
        auto server = std::make_unique<AprsIsTestServer>();
        QVERIFY(server->listen());
        const quint16 port = server->port();
        const QString to = "127.0.0.1:" + QString::number(port);
        Headless h({"APRS-IS Port=" + QString::number(port)});
        h.start();
        QTRY_VERIFY_WITH_TIMEOUT(server->loggedIn(), 5000);
        QVERIFY(h.says("Mailbox: SETTVF via=")); // start-up's last write to the host
        QVERIFY(QDir(h.station.mailboxDir()).removeRecursively());
        const QString missing = "Mailbox the mailbox folder " + h.station.mailboxDir() +
                                " is missing; frames wait until it is back";
        QVERIFY(h.errorsSay(missing));
        server.reset();
        QVERIFY(h.errorsSay("APRS-IS no link to " + to + ": Connection refused", 20000));
        server = std::make_unique<AprsIsTestServer>();
        QVERIFY(server->listen(port));
        QTRY_VERIFY_WITH_TIMEOUT(server->loggedIn(), 20000);
        QCOMPARE(server->raw(), sample::kLogin + "\r\n");
        QCOMPARE(h.stop(), 0);
        QVERIFY2(!QFileInfo::exists(h.station.mailboxDir()), "kestrel made the mailbox itself");
        QCOMPARE(
            errorLines(h.station),
            QStringList({missing,
                         "APRS-IS lost the link to " + to + ": the server closed the connection",
                         "APRS-IS no link to " + to + ": Connection refused",
                         "APRS-IS logged in to " + to + " again"}));
    }

    // A full disk under the log folder: its last page has 30 bytes left and
    // no page more is free, so an entry would be written in part. It is not
    // written at all, said once, and the log goes on when there is room.
    void logFolderFull()
    {
        Headless h({"Log IGated= 1"});
        h.start();
        const QString logs = h.station.programFile("Logs_Kestrel");
        const auto gate = [&](const QString &info) {
            return h.take(sample::monitor("N1ABC-7", info)) &&
                   h.serverGot(sample::gated("N1ABC-7", info));
        };
        QVERIFY(h.loggedIn() && gate(">before"));
        const QByteArray kept = h.file("Logs_Kestrel/igated.txt");
        const QByteArray path = QFile::encodeName(logs);
        if (::mount("tmpfs", path, "tmpfs", 0, "size=8k") != 0)
            QSKIP("cannot mount a tmpfs over the log folder (needs root)");
        const auto unmount = qScopeGuard([&] { ::umount2(path, MNT_DETACH); });
        const QByteArray lines = QByteArray(4096 - 30 - 2, 'x') + "\r\n";
        h.station.writeFile(logs + "/igated.txt", lines);
        h.station.writeFile(logs + "/filler", QByteArray(4096, 'f'));
        QVERIFY(gate(">disk full 1") && gate(">disk full 2"));
        QCOMPARE(h.file("Logs_Kestrel/igated.txt"), lines);
        QCOMPARE(::umount2(path, 0), 0);
        QVERIFY(gate(">after"));
        QCOMPARE(h.stop(), 0);
        const QStringList said = errorLines(h.station);
        QVERIFY(said.value(0).startsWith("Logs could not write " + logs + "/igated.txt: "));
        QCOMPARE(said.mid(1), QStringList{"Logs writing " + logs + "/igated.txt again"});
        QCOMPARE(h.file("Logs_Kestrel/igated.txt"),
                 kept + "N1ABC-7>APRS,qAR,N1IGT-10:\r\n>after\r\n");
    }

    // Killed at points through the save: the list is either the old one or
    // the new one (the old with one new row), every line whole.
    void killedWhileSavingTheLists()
    {
        constexpr int kRows = 20000; // big enough that writing takes a while
        const QByteArray heard =
            QDateTime::currentDateTime().addSecs(-60).toString("dd-MM-yy HH:mm:ss").toLatin1();
        QByteArray mheard;
        for (int i = 0; i < kRows; ++i)
            mheard += ("K" + QByteArray::number(i)).leftJustified(10) + heard + " \r\n";
        Headless h;
        for (int delayMs : {0, 1, 2, 3, 5, 8, 12, 17, 25, 35, 50}) {
            h.station.writeFile(h.station.programFile("mheard.txt"), mheard);
            h.start({});
            QVERIFY(h.says("Host: "));
            QVERIFY(h.take(sample::monitor("N1ABC-7", ">" + QString::number(delayMs))));
            h.kestrel->signal(SIGTERM);
            // The delay is the point: where in the save the kill lands.
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            h.kestrel->signal(SIGKILL);
            QVERIFY(QList<int>({0, -2}).contains(h.kestrel->finish(10000)));
            const QByteArray now = h.file("mheard.txt");
            QVERIFY2(now == mheard || (now.endsWith("\r\n") && now.count('\n') == kRows + 1 &&
                                       now.count("\r\n") == kRows + 1),
                     qPrintable(QString::number(delayMs) + " ms"));
        }
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
