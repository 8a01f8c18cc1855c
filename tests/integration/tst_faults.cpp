// The real kestrel --headless when the world around it fails: the APRS-IS
// server goes away or falls silent, the login is refused, the mailbox folder
// vanishes, the log folder turns read-only or fills up, and the program is
// killed while it saves its lists. It keeps going, says so once in
// errors.txt, and comes back by itself.
//
// Built twice: integration_faults, and integration_faults_slow (with
// KESTREL_FAULTS_SLOW) for the silent server, which takes over three minutes.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray kLogin = "user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter r/49/-72/100";

// A frame as the host's monitor shows it, escaped for zeno-host rx (and so
// as kestrel prints it on "Frame: " lines).
QString monitor(const QString &from, const QString &info)
{
    return QStringLiteral(" 1:Fm %1 To APRS <UI pid=F0 Len=%2 >[14:00:05]\\r%3")
        .arg(from)
        .arg(info.size())
        .arg(info);
}

QByteArray gated(const QString &from, const QString &info)
{
    return (from + QStringLiteral(">APRS,qAR,N1IGT-10:") + info).toLatin1();
}

bool zenoHost(const QString &mailbox, const QStringList &args)
{
    QProcess p;
    p.start(programUnderTest("ZENO_HOST_BIN"), QStringList{"--mailbox", mailbox} + args);
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A station with its own APRS-IS test server, and kestrel started on it.
struct Station
{
    explicit Station(const QStringList &settings = {})
        : server(std::make_unique<AprsIsTestServer>())
    {
        server->listen();
        port = server->port();
        s.writeSettings(QStringList{"APRS-IS Port=" + QString::number(port), "Log Serv_Conn= 1"} +
                        settings);
    }
    void start(bool connect = true)
    {
        QStringList args{"--headless", "--program-dir", s.programDir(), "--mailbox",
                         s.mailboxDir()};
        if (connect)
            args << "--connect";
        kestrel = std::make_unique<Child>(programUnderTest("KESTREL_BIN"), args);
    }
    QString target() const { return "127.0.0.1:" + QString::number(port); }
    QString logs() const { return s.programFile("Logs_Kestrel"); }
    QByteArray file(const QString &name) const
    {
        return TempStation::readFile(s.programFile(name));
    }
    bool alive() const { return kestrel && kestrel->p.state() == QProcess::Running; }
    qsizetype framesTaken() { return kestrel->out().count("\nFrame: "); }

    // Hands a frame to kestrel and waits until it has taken it: the host
    // keeps one frame, so the next must not overwrite it before then.
    bool take(const QString &frame)
    {
        const qsizetype before = framesTaken();
        return zenoHost(s.mailboxDir(), {"rx", frame}) &&
               QTest::qWaitFor([&] { return framesTaken() > before; }, 5000);
    }
    bool gatedNow(const QString &from, const QString &info)
    {
        return QTest::qWaitFor([&] { return server->lines().contains(gated(from, info)); }, 5000);
    }

    // errors.txt as "Word text" lines, the stamp taken out; empty when a
    // line is not of the form "Word dd-MM-yy HH:mm:ss text" with CR LF.
    QStringList errors() const
    {
        static const QRegularExpression shape(
            QStringLiteral("^(\\S+) \\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (.+)\r$"));
        QStringList out;
        const QByteArray content = file("errors.txt");
        if (!content.isEmpty() && !content.endsWith("\r\n"))
            return {"(no line end) " + QString::fromLatin1(content)};
        for (const QByteArray &line : content.split('\n')) {
            if (line.isEmpty())
                continue;
            const auto m = shape.match(QString::fromLatin1(line));
            out << (m.hasMatch() ? m.captured(1) + ' ' + m.captured(2)
                                 : "(malformed) " + QString::fromLatin1(line));
        }
        return out;
    }
    bool errorsSay(const QString &line, int ms = 5000) const
    {
        return QTest::qWaitFor([&] { return errors().contains(line); }, ms);
    }

    int stop()
    {
        kestrel->signal(SIGTERM);
        return kestrel->finish(10000);
    }

    TempStation s;
    std::unique_ptr<AprsIsTestServer> server;
    quint16 port = 0;
    std::unique_ptr<Child> kestrel;
};

// A mount over one folder for part of a test, undone however the test ends.
struct Mount
{
    explicit Mount(const QString &dir) : path(QFile::encodeName(dir)) {}
    ~Mount() { undo(); }
    bool bindReadOnly()
    {
        if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        mounted = true;
        return ::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }
    bool tmpfs(const char *options)
    {
        mounted = ::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0;
        return mounted;
    }
    void undo()
    {
        if (mounted && ::umount2(path.constData(), 0) != 0)
            ::umount2(path.constData(), MNT_DETACH);
        mounted = false;
    }
    QByteArray path;
    bool mounted = false;
};

// Every line ends with CR LF: nothing was left half written.
[[maybe_unused]] bool wholeLines(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.takeLast().isEmpty())
        return false;
    return std::all_of(lines.cbegin(), lines.cend(),
                       [](const QByteArray &line) { return line.endsWith('\r'); });
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!programUnderTest("KESTREL_BIN").isEmpty(), "run through ctest");
    }

#ifndef KESTREL_FAULTS_SLOW
    void serverGoneAndBackOnTheSamePort()
    {
        Station st;
        st.start();
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 8000);
        QVERIFY(st.take(monitor("N1ABC-7", ">before")));
        QVERIFY(st.gatedNow("N1ABC-7", ">before"));

        st.server.reset(); // the listener and the link go at once
        // The loss, then two refused attempts, each followed by a teardown.
        QTRY_VERIFY_WITH_TIMEOUT(
            st.file("Logs_Kestrel/serv_conn.txt").count(" DISCONNECTED! * Trying again ...") == 3,
            50000);
        QVERIFY(st.alive());
        st.server = std::make_unique<AprsIsTestServer>();
        QVERIFY(st.server->listen(st.port));
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 10000);
        QVERIFY(st.take(monitor("N1ABC-7", ">after")));
        QVERIFY(st.gatedNow("N1ABC-7", ">after"));
        QCOMPARE(st.server->lines(), QList<QByteArray>({kLogin, gated("N1ABC-7", ">after")}));

        const QStringList errors = st.errors();
        QCOMPARE(errors.size(), 3);
        QCOMPARE(errors[0],
                 "APRS-IS lost the link to " + st.target() + ": the server closed the connection");
        QCOMPARE(errors[1], "APRS-IS no link to " + st.target() + ": Connection refused");
        QCOMPARE(errors[2], "APRS-IS logged in to " + st.target() + " again");
        QCOMPARE(st.stop(), 0);
    }

    void unverifiedLoginGatesNothing()
    {
        Station st({"Validation#=12345", "Log IGated= 1"});
        st.start();
        const QString said = "APRS-IS " + st.target() +
                             " answered the login of N1IGT-10 \"unverified\": receiving only; "
                             "check Validation#";
        QVERIFY(st.errorsSay(said, 8000));
        QVERIFY(st.take(monitor("N1ABC-7", "!4903.50N/07201.75W-Test")));
        QTRY_VERIFY(st.kestrel->out().contains("\nMHeard + N1ABC-7"));
        // Past a teardown and a reconnection: none comes, nothing is sent.
        QTest::qWait(17000);
        QCOMPARE(st.server->connections(), 1);
        QCOMPARE(st.server->lines(),
                 QList<QByteArray>({QByteArray(kLogin).replace(" 8340 ", " 12345 ")}));
        QCOMPARE(st.file("Logs_Kestrel/igated.txt"), QByteArray());
        QCOMPARE(st.errors(), QStringList({said}));
        QCOMPARE(st.stop(), 0);
    }

    void mailboxFolderRemovedAndBack()
    {
        Station st;
        st.start();
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 8000);
        const QString last = monitor("N1ABC-7", ">last before");
        QVERIFY(st.take(last));
        QVERIFY(st.gatedNow("N1ABC-7", ">last before"));
        const QString missing = "Mailbox the mailbox folder " + st.s.mailboxDir() +
                                " is missing; frames wait until it is back";
        const QString back = "Mailbox the mailbox is back; reading frames again";

        // The host's folder goes; it comes back whole, its last frame still
        // in it, as a host that restores its state puts it back.
        QVERIFY(QDir(st.s.mailboxDir()).removeRecursively());
        QVERIFY(st.errorsSay(missing));
        QTest::qWait(2500);
        QVERIFY(st.alive());
        QVERIFY2(!QFileInfo::exists(st.s.mailboxDir()), "kestrel made the mailbox itself");
        const QString restored = st.s.root() + "/mailbox.new";
        QVERIFY(zenoHost(restored, {"init", "--call", "N1IGT-10", "--path", st.s.hostDir()}));
        QVERIFY(zenoHost(restored, {"rx", last}));
        const qsizetype taken = st.framesTaken();
        QVERIFY(QDir().rename(restored, st.s.mailboxDir()));
        QVERIFY(st.errorsSay(back));
        QTest::qWait(2500);
        QCOMPARE(st.framesTaken(), taken);
        QVERIFY(st.take(monitor("N1ABC-7", ">first after")));
        QVERIFY(st.gatedNow("N1ABC-7", ">first after"));

        // Gone again, and set up afresh in place by zeno-host init.
        QVERIFY(QDir(st.s.mailboxDir()).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(st.errors().count(missing), 2, 5000);
        QVERIFY(
            zenoHost(st.s.mailboxDir(), {"init", "--call", "N1IGT-10", "--path", st.s.hostDir()}));
        QTRY_COMPARE_WITH_TIMEOUT(st.errors().count(back), 2, 5000);
        QVERIFY(st.take(monitor("N1ABC-7", ">second after")));
        QVERIFY(st.gatedNow("N1ABC-7", ">second after"));

        QCOMPARE(st.server->lines(), QList<QByteArray>({kLogin, gated("N1ABC-7", ">last before"),
                                                        gated("N1ABC-7", ">first after"),
                                                        gated("N1ABC-7", ">second after")}));
        QCOMPARE(st.errors(), QStringList({missing, back, missing, back}));
        QCOMPARE(st.server->connections(), 1);
        QCOMPARE(st.stop(), 0);
    }

    void logFolderReadOnlyThenFull()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to mount over the log folder");
        Station st({"Log IGated= 1"});
        st.start();
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 8000);
        QVERIFY(st.take(monitor("N1ABC-7", ">logged 1")));
        QTRY_VERIFY(st.file("Logs_Kestrel/igated.txt").contains("\r\n>logged 1\r\n"));
        const QString igated = st.logs() + "/igated.txt";
        const QString failed = "Logs could not write " + igated + ": ";

        Mount mount(st.logs());
        if (!mount.bindReadOnly())
            QSKIP("cannot mount here (no CAP_SYS_ADMIN?)");
        for (const QString info : {">read-only 1", ">read-only 2"}) {
            QVERIFY(st.take(monitor("N1ABC-7", info)));
            QVERIFY(st.gatedNow("N1ABC-7", info));
        }
        QTRY_VERIFY(st.errors().filter(failed).size() == 1);
        mount.undo();
        QVERIFY(st.take(monitor("N1ABC-7", ">logged 2")));
        QVERIFY(st.errorsSay("Logs writing " + igated + " again"));
        const QByteArray kept = st.file("Logs_Kestrel/igated.txt");
        QVERIFY(kept.endsWith("\r\n>logged 2\r\n") && !kept.contains("read-only"));

        // A full disk: the log's last page has 30 bytes left, and no page
        // more is free, so the next entry is written in part.
        if (!mount.tmpfs("size=64k"))
            QSKIP("cannot mount a tmpfs here");
        QByteArray lines;
        while (lines.size() < 4096 - 30 - 64)
            lines += QByteArray(62, 'x') + "\r\n";
        lines += QByteArray(4096 - 30 - lines.size() - 2, 'y') + "\r\n";
        st.s.writeFile(igated, lines);
        {
            QFile filler(st.logs() + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'f')) == 4096) {
            }
        }
        for (const QString info : {">disk full 1", ">disk full 2"}) {
            QVERIFY(st.take(monitor("N1ABC-7", info)));
            QVERIFY(st.gatedNow("N1ABC-7", info));
        }
        QTRY_VERIFY(st.errors().filter(failed).size() == 2);
        QVERIFY(st.alive());
        const QByteArray onFull = TempStation::readFile(igated);
        QVERIFY(wholeLines(onFull));
        QCOMPARE(onFull, lines);
        mount.undo();

        QCOMPARE(st.errors().filter(QRegularExpression("^Logs ")).size(), 3);
        QCOMPARE(st.server->connections(), 1);
        QCOMPARE(st.stop(), 0);
        QCOMPARE(st.file("Logs_Kestrel/igated.txt"), kept);
    }

    void killedWhileSavingTheLists()
    {
        // Big lists, so that writing them takes a while.
        constexpr int kRows = 20000;
        const QString heard =
            QDateTime::currentDateTime().addSecs(-60).toString("dd-MM-yy HH:mm:ss");
        QByteArray mheard, positions;
        for (int i = 0; i < kRows; ++i) {
            const QByteArray call = QStringLiteral("K%1%2%3%4")
                                        .arg(i % 10)
                                        .arg(QChar('A' + i / 10 % 26))
                                        .arg(QChar('A' + i / 260 % 26))
                                        .arg(QChar('A' + i / 6760 % 26))
                                        .leftJustified(10)
                                        .toLatin1();
            mheard += call + heard.toLatin1() + " \r\n";
            positions += call + QByteArray::number(i % 900) + ".0km 90\xb0\r\n";
        }
        // Old content, or the old rows and the one new station, whole.
        const auto oldOrNew = [](const QByteArray &now, const QByteArray &old) {
            if (now == old)
                return QStringLiteral("old");
            if (!wholeLines(now))
                return QStringLiteral("torn");
            const QList<QByteArray> oldRows = old.split('\n');
            const QSet<QByteArray> before(oldRows.cbegin(), oldRows.cend());
            QList<QByteArray> rows = now.split('\n'), added;
            rows.removeLast();
            for (const QByteArray &row : rows)
                if (!before.contains(row))
                    added << row;
            return rows.size() == kRows + 1 && added.size() == 1 && added[0].startsWith("N1ABC-7 ")
                       ? QStringLiteral("new")
                       : QStringLiteral("different (%1 rows, %2 added)")
                             .arg(rows.size())
                             .arg(added.size());
        };

        Station st;
        QStringList outcomes;
        int n = 0;
        for (int delayMs : {0, 1, 2, 3, 5, 8, 12, 17, 25, 35, 50}) {
            st.s.writeFile(st.s.programFile("mheard.txt"), mheard);
            st.s.writeFile(st.s.programFile("positions.txt"), positions);
            st.start(false);
            // The frame the host holds at start counts as taken: this one
            // comes after.
            QTRY_VERIFY_WITH_TIMEOUT(st.kestrel->out().contains("Host: "), 5000);
            const QString info = QStringLiteral("!4910.00N/07210.00W-Test %1").arg(++n);
            QVERIFY(st.take(monitor("N1ABC-7", info)));
            QTRY_VERIFY(st.kestrel->out().contains("\nPosition Beacons + N1ABC-7"));
            st.kestrel->signal(SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            st.kestrel->signal(SIGKILL);
            const int status = st.kestrel->finish(10000);
            QVERIFY2(status == 0 || status == -2, qPrintable(QString::number(status)));
            const QString m = oldOrNew(st.file("mheard.txt"), mheard);
            const QString p = oldOrNew(st.file("positions.txt"), positions);
            outcomes << QStringLiteral("%1 ms: %2/%3").arg(delayMs).arg(m, p);
            QVERIFY2(m == "old" || m == "new", qPrintable(outcomes.last()));
            QVERIFY2(p == "old" || p == "new", qPrintable(outcomes.last()));
        }
        qInfo("%s", qPrintable(outcomes.join(QStringLiteral(", "))));
    }
#else
    void silentServerIsLeft()
    {
        Station st;
        st.start();
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 8000);
        // The link stays open; nothing more comes, not even a keepalive.
        st.server->setSilent(true);
        const qint64 lastLine = st.server->received().last().ms;
        QTRY_VERIFY_WITH_TIMEOUT(!st.server->clientConnected(), 140000);
        const qint64 noticed = st.server->elapsed() - lastLine;
        QVERIFY2(noticed > 114000 && noticed < 130000, qPrintable(QString::number(noticed)));
        QCOMPARE(st.errors(), QStringList({"APRS-IS lost the link to " + st.target() +
                                           ": no line from the server for 120 s"}));
        // It connects again; the server says nothing until three minutes
        // have passed, then greets it.
        QTRY_COMPARE_WITH_TIMEOUT(st.server->connections(), 2, 20000);
        QTest::qWait(int(qMax<qint64>(0, lastLine + 180000 - st.server->elapsed())));
        QVERIFY(st.alive());
        QVERIFY(!st.server->loggedIn());
        st.server->setSilent(false);
        st.server->pushLines({st.server->banner.toLatin1()});
        QTRY_VERIFY_WITH_TIMEOUT(st.server->loggedIn(), 5000);
        QVERIFY(st.take(monitor("N1ABC-7", ">after the silence")));
        QVERIFY(st.gatedNow("N1ABC-7", ">after the silence"));
        QCOMPARE(st.server->received().last().connection, 2);
        QCOMPARE(st.errors(), QStringList({"APRS-IS lost the link to " + st.target() +
                                               ": no line from the server for 120 s",
                                           "APRS-IS logged in to " + st.target() + " again"}));
        QCOMPARE(st.stop(), 0);
    }
#endif
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
