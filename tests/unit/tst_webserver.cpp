// The web server on loopback sockets: what a visitor gets for whatever it
// sends, the visits log, the ports it takes, and its limits.

#include "support/fixtures.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace kestrel;
using F = Settings::Field;

namespace {

// The gateway's web server on a free port, the gateway not started.
struct Server : InProcess
{
    Server()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        web.setBindAddress(QHostAddress::LocalHost);
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

} // namespace

class TestWebServer : public QObject
{
    Q_OBJECT

private slots:
    // Whatever a visitor sends, even more than is read at a time, is answered
    // with the page, once. The page follows the station: its lists, its
    // template, its comments; visits are logged with the visitor's country.
    void pageFollowsTheStation()
    {
        Server sv;
        sv.web.setBindAddress(QHostAddress()); // IPv4 visitors come IPv6-mapped
        sv.web.start(false);
        sv.settings.setCheck(F::LogVisits, true);
        sv.station.writeFile(sv.station.programFile("IP2.csv"),
                             "\"2130706432\t2147483647\tZZ\tZZZ\tLOOP\"\r\n");
        QCOMPARE(sv.visit(QByteArray(200 * 1024, 'A')).count("HTTP/1.0 200 OK\r\n"), 1);
        sv.gateway.igatedList().append("N1ABC-7>APRS,qAR,N1IGT-10:>hi");
        sv.station.writeFile(sv.station.programFile("Web/server.htm"), "<p>#V4</p>\r\n");
        sv.settings.setText(F::WebComments, "<b>now</b>");
        const QByteArray now = sv.visit("x");
        QVERIFY(now.contains("\r\n\r\n<p><b>now</b></p><div"));
        QVERIFY(now.endsWith("<p>N1ABC-7&gt;APRS,qAR,N1IGT-10:&gt;hi</p>"));

        // Visits no longer logged; without the template, a page that says so.
        sv.settings.setCheck(F::LogVisits, false);
        const QString page = sv.station.programFile("Web/server.htm");
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

    // "%1" is the server's port, "%2" one that something else has.
    void ports_data()
    {
        QTest::addColumn<QString>("port");
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

    // As the dialog starts it: the state text and its "Check" button follow;
    // a port in use unticks "Enabled".
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
        sv.settings.setText(F::WebServerPort, port);
        QSignalSpy notices(&sv.web, &WebServer::notice);
        sv.web.start(true);
        QCOMPARE(sv.web.checkEnabled(), on);
        QCOMPARE(sv.gateway.texts().text(StateTexts::WebServerState),
                 on ? "WEB SERVER ON" : "WEB SERVER OFF");
        QCOMPARE(sv.settings.isOn(F::WebServerYesNo), !taken);
        QCOMPARE(notices.value(0).value(0).toString(), on ? notice : notice.arg(port));
        QCOMPARE(errorLines(sv.station).value(0),
                 on ? "" : "Web " + (taken ? "port " + port + " is in use" : notice.arg(port)));
    }

    // With every place taken, a newcomer sends off the oldest that has not
    // asked and gets the page. Those that stay silent go after ten seconds.
    void limits()
    {
        Server sv;
        QTcpSocket silent[WebServer::kMaxConnections];
        for (int i = 0; i < WebServer::kMaxConnections; ++i) {
            silent[i].connectToHost(QHostAddress::LocalHost, sv.port);
            QTRY_COMPARE(sv.web.openConnections(), i + 1);
        }
        const QDeadlineTimer tenSeconds(9900); // a little less, for the timers' grain
        QVERIFY(sv.visit("x").endsWith("<p>Gated Frames:</p>"));
        QTRY_COMPARE(silent[0].state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(sv.web.openConnections(), WebServer::kMaxConnections - 1);
        QTRY_COMPARE_WITH_TIMEOUT(sv.web.openConnections(), 0, 15000);
        QVERIFY(tenSeconds.hasExpired());
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
