// The web server on loopback sockets: the page, the visits log, ports, limits.

#include "support/fixtures.h"

#include <QSignalSpy>
#include <QTcpSocket>

using namespace kestrel;
using F = Settings::Field;

// The gateway's web server on a free port, the gateway not started.
struct Server : InProcess
{
    explicit Server(const QHostAddress &bind = QHostAddress::LocalHost)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        gateway.web().setBindAddress(bind);
        gateway.settings().setText(F::WebServerPort, QString::number(port));
        gateway.settings().setCheck(F::WebServerYesNo, true); // starts it as the dialog does
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
};

class TestWebServer : public QObject
{
    Q_OBJECT

private slots:
    // Any request gets the page once; it follows the station. Visits logged with the country.
    void pageFollowsTheStation()
    {
        Server sv{QHostAddress()}; // IPv4 visitors come IPv6-mapped
        sv.gateway.settings().setCheck(F::LogVisits, true);
        sv.station.writeFile(sv.station.programFile("IP2.csv"),
                             "\"2130706432\t2147483647\tZZ\tZZZ\tLOOP\"\r\n");
        QCOMPARE(sv.visit(QByteArray(200 * 1024, 'A')).count("HTTP/1.0 200 OK\r\n"), 1);
        sv.gateway.igatedList().append("N1ABC-7>APRS,qAR,N1IGT-10:>hi");
        const QString page = sv.station.programFile("Web/server.htm");
        sv.station.writeFile(page, "<p>#V4</p>\r\n");
        sv.gateway.settings().setText(F::WebComments, "<b>now</b>");
        const QByteArray now = sv.visit("x");
        QVERIFY(now.contains("\r\n\r\n<p><b>now</b></p><div") &&
                now.endsWith("<p>N1ABC-7&gt;APRS,qAR,N1IGT-10:&gt;hi</p>"));
        // Visits no longer logged; without the template, a page that says so.
        sv.gateway.settings().setCheck(F::LogVisits, false);
        QVERIFY(QFile::remove(page));
        QVERIFY(
            sv.visit("x").endsWith("\r\n\r\n<html><head><title>Station page</title></head><body>"
                                   "<p>The station's page template cannot be read: No such "
                                   "file or directory</p></body></html>"));
        QCOMPARE(errorLines(sv.station),
                 QStringList{"Web cannot read " + page + ": No such file or directory"});
        QCOMPARE(sv.file("Logs_Kestrel/web_visits.txt"),
                 QByteArray("06-12-26 14:00:00 IP:127.0.0.1 (LOOP)\r\n").repeated(2));
    }

    void ports_data()
    {
        QTest::addColumn<QString>("port"); // %1 the server's, %2 one something else has
        QTest::addColumn<QString>("notice");
        const QString none = "The web server's port \"%1\" is not a port number (1 to 65535); "
                             "the web server stays off.";
        QTest::newRow("free, blanks around") << " %1 " << QString();
        QTest::newRow("text") << "http" << none;
        QTest::newRow("too large") << "65536" << none;
        QTest::newRow("taken") << "%2"
                               << "WEB Server found Port: %1 Busy,\r\nChange the Port or keep "
                                  "the Server Disable!";
    }

    // Started as the dialog does: state text and "Check" follow; a port in use unticks "Enabled".
    void ports()
    {
        QFETCH(QString, port);
        QFETCH(QString, notice);
        Server sv;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost));
        const bool on = notice.isEmpty(), taken = port == "%2";
        port.replace("%1", QString::number(sv.port))
            .replace("%2", QString::number(squatter.serverPort()));
        sv.gateway.settings().setText(F::WebServerPort, port);
        QSignalSpy notices(&sv.gateway.web(), &WebServer::notice);
        sv.gateway.web().start(true);
        QCOMPARE(sv.gateway.web().checkEnabled(), on);
        QCOMPARE(sv.gateway.texts().text(StateTexts::WebServerState),
                 on ? "WEB SERVER ON" : "WEB SERVER OFF");
        QCOMPARE(sv.gateway.settings().isOn(F::WebServerYesNo), !taken);
        QCOMPARE(notices.value(0).value(0).toString(), on ? notice : notice.arg(port));
        QCOMPARE(errorLines(sv.station).value(0),
                 on ? "" : "Web " + (taken ? "port " + port + " is in use" : notice.arg(port)));
    }

    // When full, a newcomer sends off the oldest silent one; the silent go after ten seconds.
    void limits()
    {
        Server sv;
        QTcpSocket silent[WebServer::kMaxConnections];
        for (int i = 0; i < WebServer::kMaxConnections; ++i) {
            silent[i].connectToHost(QHostAddress::LocalHost, sv.port);
            QTRY_COMPARE(sv.gateway.web().openConnections(), i + 1);
        }
        const QDeadlineTimer tenSeconds(9900); // a little less, for the timers' grain
        QVERIFY(sv.visit("x").endsWith("<p>Gated Frames:</p>"));
        QTRY_COMPARE(silent[0].state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(sv.gateway.web().openConnections(), WebServer::kMaxConnections - 1);
        QTRY_COMPARE_WITH_TIMEOUT(sv.gateway.web().openConnections(), 0, 15000);
        QVERIFY(tenSeconds.hasExpired());
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
