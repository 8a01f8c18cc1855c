// The listener's switch on a gateway in-process: "Enabled" stops it at once,
// starts it again only before a verified login, and a port that is none
// leaves it off with the reason.

#include "station/gateway.h"
#include "host/mailbox/directorystore.h"
#include "support/tempstation.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

class TestWebServer : public QObject
{
    Q_OBJECT

    struct Station
    {
        explicit Station(const QString &port)
        {
            s.writeSettings({"Web Server YES/NO= 1", "Web Server Port=" + port});
            gateway.web.setBindAddress(QHostAddress::LocalHost);
            gateway.start();
            gateway.timer10Tick();
        }
        QString state() const { return gateway.texts.text(StateTexts::WebServerState); }
        TempStation s;
        mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
        Clock clock;
        Gateway gateway{ProgramFolder(s.programDir()), store, clock};
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
        Station st(freePort());
        Gateway &g = st.gateway;
        QVERIFY(g.web.listening());
        QCOMPARE(st.state(), QStringLiteral("WEB SERVER ON"));
        QCOMPARE(g.web.localAddress(), QStringLiteral("127.0.0.1"));

        g.settings.setCheck(F::WebServerYesNo, false);
        QVERIFY(!g.web.listening());
        QCOMPARE(st.state(), QStringLiteral("WEB SERVER OFF"));
        QVERIFY(!g.web.checkEnabled());
        g.settings.setCheck(F::WebServerYesNo, true);
        QVERIFY(g.web.listening());
        QVERIFY(g.web.checkEnabled());

        // After a verified login the box can stop the server, not start it.
        g.Label17 = true;
        g.settings.setCheck(F::WebServerYesNo, false);
        g.settings.setCheck(F::WebServerYesNo, true);
        QVERIFY(!g.web.listening());
        QCOMPARE(st.state(), QStringLiteral("WEB SERVER OFF"));
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
        Station st(freePort());
        QSignalSpy notices(&st.gateway, &Gateway::notice);
        st.gateway.settings.setText(F::WebServerPort, port);
        st.gateway.timer10Tick();
        QVERIFY(!st.gateway.web.listening());
        QCOMPARE(st.state(), QStringLiteral("WEB SERVER OFF"));
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices[0][0].toString().contains("is not a port number"));
    }
};

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
