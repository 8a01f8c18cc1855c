// The listener on its own parts: the switch, a port that is none, and the
// connection limit.

#include "core/activitylog.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/textlist.h"
#include "support/tempstation.h"
#include "web/webserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <vector>

using namespace kestrel;
using F = Settings::Field;

class TestWebServer : public QObject
{
    Q_OBJECT

    struct Server
    {
        explicit Server(const QString &port)
        {
            settings.setCheck(F::WebServerYesNo, true);
            settings.setText(F::WebServerPort, port);
            web.setBindAddress(QHostAddress::LocalHost);
            web.start(false);
        }
        QString state() const { return texts.text(StateTexts::WebServerState); }
        TempStation s;
        Settings settings;
        StateTexts texts;
        Clock clock;
        ProgramFolder folder{s.programDir()};
        ActivityLog log{folder, clock};
        TextList mheard{QStringLiteral("MHeard")};
        TextList igated{QStringLiteral("IGated")};
        Services services;
        WebServer web{settings, texts, log, clock, folder, mheard, igated, services};
    };

    static QString freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return QString::number(probe.serverPort());
    }

private slots:
    void enabledSwitch()
    {
        Server sv(freePort());
        WebServer &web = sv.web;
        QVERIFY(web.listening());
        QCOMPARE(sv.state(), QStringLiteral("WEB SERVER ON"));
        QCOMPARE(web.localAddress(), QStringLiteral("127.0.0.1"));

        sv.settings.setCheck(F::WebServerYesNo, false);
        web.start(true);
        QVERIFY(!web.listening());
        QCOMPARE(sv.state(), QStringLiteral("WEB SERVER OFF"));
        QVERIFY(!web.checkEnabled());
        sv.settings.setCheck(F::WebServerYesNo, true);
        web.start(true);
        QVERIFY(web.listening());
        QVERIFY(web.checkEnabled());

        // Told it may not start, it only stops.
        web.start(true, false);
        QVERIFY(!web.listening());
        QCOMPARE(sv.state(), QStringLiteral("WEB SERVER OFF"));
    }

    void portsThatAreNone_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("text") << "http";
        QTest::newRow("zero") << "0";
        QTest::newRow("too large") << "70000";
        QTest::newRow("empty") << "";
    }

    void portsThatAreNone()
    {
        QFETCH(QString, port);
        Server sv(freePort());
        QSignalSpy notices(&sv.web, &WebServer::notice);
        sv.settings.setText(F::WebServerPort, port);
        sv.web.start(false);
        QVERIFY(!sv.web.listening());
        QCOMPARE(sv.state(), QStringLiteral("WEB SERVER OFF"));
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices[0][0].toString().contains("is not a port number"));
        QVERIFY(TempStation::readFile(sv.s.programFile("errors.txt")).contains("not a port"));
    }

    // One more than the limit: the oldest that has not asked goes, and the
    // newcomer is answered.
    void connectionLimit()
    {
        Server sv(freePort());
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i <= WebServer::kMaxConnections; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, sv.web.port());
            QTRY_COMPARE(sv.web.openConnections(), std::min(i + 1, WebServer::kMaxConnections));
        }
        QTRY_COMPARE(clients.front()->state(), QAbstractSocket::UnconnectedState);
        QTcpSocket &last = *clients.back();
        last.write("GET / HTTP/1.0\r\n\r\n");
        QTRY_COMPARE(last.state(), QAbstractSocket::UnconnectedState);
        const QByteArray answer = last.readAll();
        const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
        QVERIFY(answer.startsWith("HTTP/1.0 200 OK\r\n"));
        QVERIFY(answer.contains("Content-Length: " + QByteArray::number(body.size()) + "\r\n"));
        QTRY_COMPARE(sv.web.openConnections(), WebServer::kMaxConnections - 1);
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
