// The status page from the real kestrel --headless over raw loopback
// sockets: what a visitor gets, what the visits log says, and how the
// server fares against clients that misbehave.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <csignal>
#include <memory>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// One request as a browser sends it; everything until the server closes.
QByteArray fetch(quint16 port, const QByteArray &request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n")
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(3000))
        return {};
    s.write(request);
    QByteArray answer;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
        answer += s.readAll();
    return answer + s.readAll();
}

int openDescriptors(qint64 pid)
{
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                .entryList(QDir::NoDotAndDotDot | QDir::System)
                                .size());
}

struct WebStation
{
    explicit WebStation(const QStringList &settings = {})
    {
        aprsis.listen();
        s.writeSettings(QStringList{"Web Server YES/NO= 1",
                                    "Web Server Port=" + QString::number(port), "Log Visits= 1",
                                    "APRS-IS Port=" + QString::number(aprsis.port())} +
                        settings);
    }
    void start(const QStringList &more = {})
    {
        kestrel = std::make_unique<Child>(programUnderTest("KESTREL_BIN"),
                                          QStringList{"--headless", "--web-address", "127.0.0.1",
                                                      "--program-dir", s.programDir(), "--mailbox",
                                                      s.mailboxDir()} +
                                              more);
    }
    bool on() { return kestrel->out().contains("Web server: WEB SERVER ON\n"); }
    QByteArray visits()
    {
        return TempStation::readFile(s.programFile("Logs_Kestrel/web_visits.txt"));
    }
    void rx(const QString &frame)
    {
        QProcess p;
        p.start(programUnderTest("ZENO_HOST_BIN"), {"--mailbox", s.mailboxDir(), "rx", frame});
        p.waitForFinished(5000);
    }
    TempStation s;
    AprsIsTestServer aprsis;
    quint16 port = freePort();
    std::unique_ptr<Child> kestrel;
};

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

private slots:
    void pageAndVisits()
    {
        WebStation w({"Web Comments=<i>ISS digi watch</i>"});
        w.s.writeFile(w.s.programFile("Web/server.htm"),
                      "<html><body>\r\n<h1>#V1 #V1</h1>\r\n<p>#V4</p>\r\n<p>#V2 #V1</p>\r\n"
                      "<p>#V9</p>\r\n<p>#V0</p>\r\n#V7#VI\r\n");
        // Heard a minute ago, so the MHeard expiry keeps them.
        const QByteArray heard =
            QDateTime::currentDateTime().addSecs(-60).toString("dd-MM-yy HH:mm:ss").toLatin1();
        w.s.writeFile(w.s.programFile("mheard.txt"),
                      "N1OLD-1   " + heard + " \r\nN2OLD-2   " + heard + " RS0ISS*\r\n");
        w.s.writeFile(w.s.programFile("IP2.csv"),
                      "\"16777216\t16777471\tAU\tAUS\tAUSTRALIA\"\r\n"
                      "\"2130706432\t2147483647\tZZ\tZZZ\tLOOPBACK LAND\"\r\n");
        w.start({"--connect"});
        QTRY_VERIFY_WITH_TIMEOUT(w.aprsis.loggedIn() && w.on(), 5000);

        // Eleven frames gated: 22 rows in the list, the page shows the last 20.
        w.rx(" 1:Fm N3SCR-7 To APRS <UI pid=F0 Len=30 >[14:00:00]\\r><script>alert(1)</script>");
        for (int i = 1; i <= 10; ++i) {
            QTest::qWait(1100);
            w.rx(QString(
                     " 1:Fm N4GAT-%1 To APRS Via RS0ISS* <UI pid=F0 Len=6 >[14:00:00]\\r>frame%1")
                     .arg(i));
        }
        QTRY_COMPARE_WITH_TIMEOUT(w.aprsis.lines().size(), 12, 5000);

        const QByteArray page = fetch(w.port);
        const qsizetype bodyAt = page.indexOf("\r\n\r\n") + 4;
        QCOMPARE(page.left(bodyAt),
                 "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n"
                 "Content-Length: " +
                     QByteArray::number(page.size() - bodyAt) + "\r\nConnection: close\r\n\r\n");
        QVERIFY(
            page.mid(bodyAt).startsWith("<html><body><h1>N1IGT-10 N1IGT-10</h1>"
                                        "<p><i>ISS digi watch</i></p><p>CONNECTED TO: 127.0.0.1"));
        QVERIFY(page.contains("<p>4903.50N</p><p>07201.75W</p>#VI<div align=\"center\">"));
        QVERIFY(page.contains("#V1</p>")); // the second tag of a line stays
        QVERIFY(page.contains(">N1OLD-1</a></H2></th><th>" + heard + "</th><th>Direct</th>"));
        QVERIFY(page.contains(">N2OLD-2</a></H2></th><th>" + heard + "</th><th>RS0ISS*</th>"));
        QCOMPARE(page.count("<p>N4GAT-"), 10);
        QVERIFY(!page.contains("N3SCR-7>APRS"));
        QVERIFY(page.endsWith("<p>&gt;frame10</p>"));
        // What came from the air is shown, never run.
        QVERIFY(!page.contains("<script>"));
        QVERIFY(page.contains("N3SCR-7"));

        // One visits line a page, with the country of its range.
        QCOMPARE(fetch(w.port, "x").count("<table"), 1);
        QRegularExpression line(
            R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d IP:127\.0\.0\.1 \(LOOPBACK LAND\)$)");
        const QList<QByteArray> lines = w.visits().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(line.match(QString::fromLatin1(lines[1].trimmed())).hasMatch(), lines[1]);
        // Outside every range; then a line without its fields before any match.
        w.s.writeFile(w.s.programFile("IP2.csv"), "\"16777216\t16777471\tAU\tAUS\tAUSTRALIA\"\r\n");
        fetch(w.port);
        w.s.writeFile(w.s.programFile("IP2.csv"),
                      "16777216,16777471\r\n"
                      "\"2130706432\t2147483647\tZZ\tZZZ\tLOOPBACK LAND\"\r\n");
        fetch(w.port);
        QVERIFY(w.visits().contains(" IP:127.0.0.1 (\?\?\?)\r\n"));
        QVERIFY(w.visits().endsWith(" IP:127.0.0.1 ()\r\n"));

        // Two connections at once, one page each.
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, w.port);
        b.connectToHost(QHostAddress::LocalHost, w.port);
        QVERIFY(a.waitForConnected(3000) && b.waitForConnected(3000));
        a.write("GET / HTTP/1.1\r\n\r\n");
        b.write("GET / HTTP/1.1\r\n\r\n");
        QTRY_VERIFY(a.state() == QAbstractSocket::UnconnectedState &&
                    b.state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(a.readAll().count("HTTP/1.0 200 OK"), 1);
        QCOMPARE(b.readAll().count("HTTP/1.0 200 OK"), 1);

        // The template gone: a short page that says so, and the link goes on.
        QFile::remove(w.s.programFile("Web/server.htm"));
        const QByteArray missing = fetch(w.port);
        QVERIFY(missing.startsWith("HTTP/1.0 200 OK") && missing.contains("cannot be read"));
        w.kestrel->signal(SIGTERM);
        QCOMPARE(w.kestrel->finish(), 0);
    }

    void portTaken()
    {
        WebStation w;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, w.port));
        w.start();
        QTRY_VERIFY_WITH_TIMEOUT(
            w.kestrel->err().contains(QString("WEB Server found Port: %1 Busy,\r\nChange the Port "
                                              "or keep the Server Disable!")
                                          .arg(w.port)
                                          .toLatin1()),
            5000);
        QVERIFY(w.kestrel->out().endsWith("Web server: WEB SERVER OFF\n") ||
                w.kestrel->out().contains("WEB SERVER ON\nWeb server: WEB SERVER OFF\n"));
        w.kestrel->signal(SIGTERM);
        QCOMPARE(w.kestrel->finish(), 0);
    }

    void clientsThatMisbehave()
    {
        WebStation w({"Log Visits= 0"});
        w.start();
        QTRY_VERIFY_WITH_TIMEOUT(w.on(), 5000);
        const qint64 pid = w.kestrel->p.processId();
        const int baseline = openDescriptors(pid);

        // Silent ones, one that never reads, megabytes, random bytes, and a
        // thousand at once: a visitor still gets the page meanwhile.
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 1000; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(QHostAddress::LocalHost, w.port);
        }
        QTcpSocket flood;
        flood.connectToHost(QHostAddress::LocalHost, w.port);
        QVERIFY(flood.waitForConnected(3000));
        flood.setReadBufferSize(1); // reads nothing to speak of
        const QByteArray mb(1 << 20, 'A');
        for (int i = 0; i < 4; ++i)
            flood.write(mb);
        QTcpSocket noise;
        noise.connectToHost(QHostAddress::LocalHost, w.port);
        QVERIFY(noise.waitForConnected(3000));
        QByteArray random(4096, 0);
        QRandomGenerator rng(7);
        for (char &c : random)
            c = static_cast<char>(rng.bounded(256));
        noise.write(random);
        QTest::qWait(500);
        QVERIFY(fetch(w.port).contains("Gated Frames:"));
        QTRY_VERIFY(noise.state() == QAbstractSocket::UnconnectedState);
        QVERIFY(noise.readAll().startsWith("HTTP/1.0 200 OK"));

        crowd.clear();
        flood.abort();
        // Every connection closed, by its client or the server's idle limit.
        QTRY_VERIFY_WITH_TIMEOUT(openDescriptors(pid) <= baseline, 15000);
        QVERIFY(fetch(w.port).contains("Gated Frames:"));
        QTRY_VERIFY(openDescriptors(pid) <= baseline);
        QVERIFY(!QFile::exists(w.s.programFile("Logs_Kestrel/web_visits.txt")));
        w.kestrel->signal(SIGTERM);
        QCOMPARE(w.kestrel->finish(), 0);
    }

    void silentClientClosedAfterTenSeconds()
    {
        WebStation w({"Log Visits= 0"});
        w.start();
        QTRY_VERIFY_WITH_TIMEOUT(w.on(), 5000);
        QTcpSocket silent;
        silent.connectToHost(QHostAddress::LocalHost, w.port);
        QVERIFY(silent.waitForConnected(3000));
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(silent.state() == QAbstractSocket::UnconnectedState, 15000);
        QVERIFY2(t.elapsed() > 9000, QByteArray::number(t.elapsed()));
        QVERIFY(silent.readAll().isEmpty());
        w.kestrel->signal(SIGTERM);
        QCOMPARE(w.kestrel->finish(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
