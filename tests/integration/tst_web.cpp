// The status page the real kestrel --headless serves over HTTP: the bytes a
// visitor gets, with a frame gated from RF shown and not run, and a client
// that writes megabytes and never reads. What each placeholder becomes is
// the page's own rule, tested without a process.

#include "support/fixtures.h"

#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Everything the server answers to a browser's request, until it closes.
QByteArray fetch(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray answer;
    const bool closed = QTest::qWaitFor([&] {
        answer += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    });
    return closed ? answer + s.readAll() : "(still open) " + answer;
}

qsizetype openDescriptors(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid))
        .entryList(QDir::NoDotAndDotDot | QDir::System)
        .size();
}

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

private slots:
    void pageAndAClientThatNeverReads()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost); // a free port, for the program to take
        const quint16 port = probe.serverPort();
        probe.close();
        Headless h({"Web Server YES/NO= 1", "Web Server Port=" + QString::number(port)});
        h.station.writeFile(h.station.programFile("Web/server.htm"), "<p>#V1</p>\r\n");
        h.start({"--connect", "--web-address", "127.0.0.1"});
        QVERIFY(h.loggedIn());
        QVERIFY(h.says("Web server: WEB SERVER ON\n"));

        const QString script = QStringLiteral("><script>alert(1)</script>");
        QVERIFY(h.take(sample::monitor("N3SCR-7", script)));
        QVERIFY(h.serverGot(sample::gated("N3SCR-7", script)));
        const QByteArray page = fetch(port);
        // The time heard is the clock's; the rest is fixed to the byte.
        QCOMPARE(QString::fromLatin1(page).replace(
                     QRegularExpression("\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"), "(time)"),
                 "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n"
                 "Content-Length: 380\r\nConnection: close\r\n\r\n<p>N1IGT-10</p>"
                 "<div align=\"center\"><center><table border=\"1\"><tr><th>Station</th>"
                 "<th>Last Heard</th><th>Path</th></tr><tr><th><H2><a href=\"http://"
                 "www.findu.com/cgi-bin/find.cgi?N3SCR-7\">N3SCR-7</a></H2></th><th>(time)"
                 "</th><th>Direct</th></tr></table></center></div><p>Gated Frames:</p>"
                 "<p>N3SCR-7&gt;APRS,qAR,N1IGT-10:</p>"
                 "<p>&gt;&lt;script&gt;alert(1)&lt;/script&gt;</p>");

        // A client that never reads holds nothing up and leaves no descriptor behind.
        const qint64 pid = h.kestrel->p.processId();
        const qsizetype before = openDescriptors(pid);
        QTcpSocket flood;
        flood.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(flood.waitForConnected(3000));
        flood.setReadBufferSize(1);
        for (int i = 0; i < 4; ++i)
            flood.write(QByteArray(1 << 20, 'A'));
        QCOMPARE(fetch(port), page);
        flood.abort();
        QVERIFY(QTest::qWaitFor([&] { return openDescriptors(pid) <= before; }, 5000));
        QCOMPARE(h.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
