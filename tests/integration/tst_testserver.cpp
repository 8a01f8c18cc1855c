// The loopback APRS-IS server on its own, as the demo, the benchmarks and a
// station tried by hand use it: several clients at once, each answered by
// the passcode rule, and the feed and --count's made-up packets to each one
// logged in.

#include "support/fixtures.h"

#include <QTcpSocket>

class TestTestServer : public QObject
{
    Q_OBJECT

private slots:
    void severalClientsFeedAndPackets()
    {
        TempStation s;
        s.writeFile(s.root() + "/feed.txt", "N1ABC>APRS:>fed\n");
        Child server(
            QFileInfo(programUnderTest("KESTREL_BIN")).dir().filePath("aprsis-test-server"),
            {"--port", "0", "--feed", s.root() + "/feed.txt", "--every", "100", "--count", "500"});
        QVERIFY(QTest::qWaitFor([&] { return server.out().contains("listening on 127.0.0.1:"); }));
        const quint16 port =
            QString::fromLatin1(server.out()).section(':', -1).trimmed().toUShort();
        QTcpSocket clients[2];
        const char *logins[] = {"user N1IGT pass 1 vers T 1\r\n",
                                "user N1IGT-10 pass 8340 vers T 1\r\n"};
        const char *answers[] = {"# logresp N1IGT unverified", "# logresp N1IGT-10 verified"};
        QByteArray got[2];
        for (QTcpSocket &client : clients) {
            client.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(client.waitForConnected(3000));
        }
        for (int i = 0; i < 2; ++i) {
            clients[i].write(logins[i]);
            QVERIFY(QTest::qWaitFor(
                [&] { return (got[i] += clients[i].readAll()).contains(answers[i]); }));
        }
        QVERIFY(QTest::qWaitFor([&] { return server.out().contains("sent 500 lines in "); }));
        for (int i = 0; i < 2; ++i) {
            QVERIFY(QTest::qWaitFor([&] {
                got[i] += clients[i].readAll();
                return got[i].contains("N1ABC>APRS:>fed\r\n") && got[i].count(",qA") == 500;
            }));
            QCOMPARE(clients[i].state(), QAbstractSocket::ConnectedState);
        }
    }
};

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
