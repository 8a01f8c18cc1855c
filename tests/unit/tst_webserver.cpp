// The web server on loopback sockets: what a visitor gets for whatever it
// sends, the visits log, the ports it takes, and its limits.

#include "support/fixtures.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

using namespace kestrel;
using F = Settings::Field;

namespace {

// The gateway's web server on a free port, the gateway not started; the
// template is "<html><body>#V1".
struct Server : InProcess
{
    Server()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        web.setBindAddress(QHostAddress::LocalHost);
        settings.setText(F::OwnCall, TempStation::kCall);
        settings.setText(F::WebServerPort, QString::number(port));
        settings.setCheck(F::WebServerYesNo, true); // starts it as the dialog does
    }
    // Sends the bytes; all that comes back until the server closes.
    QByteArray visit(const QByteArray &request)
    {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, port);
        c.write(request);
        QByteArray got;
        const auto closed = [&] { return (got += c.readAll(), c.state() == c.UnconnectedState); };
        return QTest::qWaitFor(closed) ? got + c.readAll() : "(still open) " + got;
    }
    quint16 port;
    Settings &settings = gateway.settings();
    WebServer &web = gateway.web();
};

QByteArray answer(const QByteArray &body = "<html><body>N1IGT-10<div align=\"center\"><center>"
                                           "<table border=\"1\"><tr><th>Station</th><th>Last "
                                           "Heard</th><th>Path</th></tr></table></center></div>"
                                           "<p>Gated Frames:</p>")
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

class TestWebServer : public QObject
{
    Q_OBJECT

private slots:
    // Whatever a visitor sends first is answered with the page, once, and
    // never read as a request.
    void anyRequestGetsThePage_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("a browser's GET") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
        QTest::newRow("two requests") << QByteArray("GET / HTTP/1.0\r\n\r\nGET / HTTP/1.0\r\n\r\n");
        QTest::newRow("binary") << QByteArray("\x16\x03\x01\0\xff\r\n", 7);
        QTest::newRow("more than is read at a time") << QByteArray(200 * 1024, 'A');
    }

    void anyRequestGetsThePage()
    {
        QFETCH(QByteArray, request);
        Server sv;
        QCOMPARE(sv.visit(request), answer());
        QTRY_COMPARE(sv.web.openConnections(), 0);
    }

    // The page follows the station: its lists, its template, the visits log.
    void pageFollowsTheStation()
    {
        Server sv;
        sv.web.setBindAddress(QHostAddress()); // IPv4 visitors come IPv6-mapped
        sv.web.start(false);
        sv.settings.setCheck(F::LogVisits, true);
        sv.station.writeFile(sv.station.programFile("IP2.csv"),
                             "\"2130706432\t2147483647\tZZ\tZZZ\tLOOP\"\r\n");
        QCOMPARE(sv.visit("x"), answer());
        sv.gateway.mheardList().append("N1ABC-7   06-12-26 13:59:00 ");
        sv.gateway.igatedList().append("N1ABC-7>APRS,qAR,N1IGT-10:>hi");
        const QByteArray lists = sv.visit("x");
        QVERIFY(lists.contains(">N1ABC-7</a></H2></th><th>06-12-26 13:59:00</th>"));
        QVERIFY(lists.endsWith("<p>N1ABC-7&gt;APRS,qAR,N1IGT-10:&gt;hi</p>"));
        sv.station.writeFile(sv.station.programFile("Web/server.htm"), "<p>#V4</p>\r\n");
        sv.settings.setText(F::WebComments, "<b>now</b>");
        QVERIFY(sv.visit("x").contains("\r\n\r\n<p><b>now</b></p><div"));

        // Without the template, a page that says so; not logged as a visit.
        sv.settings.setCheck(F::LogVisits, false);
        const QString page = sv.station.programFile("Web/server.htm");
        QVERIFY(QFile::remove(page));
        const QByteArray why = "No such file or directory";
        QCOMPARE(sv.visit("x"),
                 answer("<html><head><title>Station page</title></head><body><p>The station's "
                        "page template cannot be read: " +
                        why + "</p></body></html>"));
        QCOMPARE(errorLines(sv.station), QStringList{"Web cannot read " + page + ": " + why});
        QCOMPARE(TempStation::readFile(sv.station.programFile("Logs_Kestrel/web_visits.txt")),
                 QByteArray("06-12-26 14:00:00 IP:127.0.0.1 (LOOP)\r\n").repeated(3));
    }

    // "%1" is the server's port, or when `taken` one that something else has.
    void ports_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("notice");
        const QString none = "The web server's port \"%1\" is not a port number (1 to 65535); "
                             "the web server stays off.";
        QTest::newRow("free, blanks around") << " %1 " << false << QString();
        QTest::newRow("text") << "http" << false << none;
        QTest::newRow("too large") << "65536" << false << none;
        QTest::newRow("taken") << "%1" << true
                               << "WEB Server found Port: %1 Busy,\r\nChange the Port or keep "
                                  "the Server Disable!";
    }

    // As the dialog starts it: the state text and its "Check" button follow.
    void ports()
    {
        QFETCH(QString, port);
        QFETCH(bool, taken);
        QFETCH(QString, notice);
        Server sv;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost));
        port.replace("%1", QString::number(taken ? squatter.serverPort() : sv.port));
        sv.settings.setText(F::WebServerPort, port);
        QSignalSpy notices(&sv.web, &WebServer::notice);
        sv.web.start(true);
        const bool on = notice.isEmpty();
        QCOMPARE(sv.web.port(), on ? sv.port : quint16(0));
        QCOMPARE(sv.web.checkEnabled(), on);
        QCOMPARE(sv.gateway.texts().text(StateTexts::WebServerState),
                 on ? "WEB SERVER ON" : "WEB SERVER OFF");
        QCOMPARE(sv.settings.isOn(F::WebServerYesNo), !taken);
        QCOMPARE(notices.value(0).value(0).toString(), on ? notice : notice.arg(port));
        QCOMPARE(errorLines(sv.station).value(0),
                 on ? "" : "Web " + (taken ? "port " + port + " is in use" : notice.arg(port)));
    }

    // One more than the limit: the oldest that has not asked goes, unanswered,
    // and the newcomer gets the page. Those that stay silent are dropped after
    // ten seconds.
    void limits()
    {
        Server sv;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i <= WebServer::kMaxConnections; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, sv.port);
            QTRY_COMPARE(sv.web.openConnections(), std::min(i + 1, WebServer::kMaxConnections));
        }
        QElapsedTimer silence;
        silence.start();
        QTRY_COMPARE(clients.front()->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(clients.front()->readAll().isEmpty());
        QTcpSocket &last = *clients.back();
        last.write("GET / HTTP/1.0\r\n\r\n");
        QTRY_COMPARE(last.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(last.readAll(), answer());
        QTRY_COMPARE(sv.web.openConnections(), WebServer::kMaxConnections - 1);
        QTRY_COMPARE_WITH_TIMEOUT(sv.web.openConnections(), 0, 15000);
        QVERIFY2(silence.elapsed() > 9000, QByteArray::number(silence.elapsed()));
        QTRY_COMPARE(clients[1]->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(clients[1]->readAll().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
