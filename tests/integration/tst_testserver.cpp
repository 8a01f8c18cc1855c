// The loopback APRS-IS server on its own, as the demo and a station tried by
// hand use it: several clients at once, each answered by the passcode rule,
// the feed to each one logged in.

#include "support/fixtures.h"

#include <QTcpSocket>

class TestTestServer : public QObject
{
    Q_OBJECT

private slots:
    void severalClients()
    {
        TempStation s;
        s.writeFile(s.root() + "/feed.txt", "N1ABC>APRS:>fed\n");
        Child server(
            QFileInfo(programUnderTest("KESTREL_BIN")).dir().filePath("aprsis-test-server"),
            {"--port", "0", "--feed", s.root() + "/feed.txt", "--every", "100"});
        QVERIFY(QTest::qWaitFor([&] { return server.out().contains("listening on 127.0.0.1:"); }));
        const quint16 port =
            QString::fromLatin1(server.out()).section(':', -1).trimmed().toUShort();
        QTcpSocket clients[2];
        const char *logins[] = {"user N1IGT-10 pass 8340 vers T 1\r\n",
                                "user N1IGT pass 1 vers T 1\r\n"};
        for (int i = 0; i < 2; ++i) {
            clients[i].connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(clients[i].waitForConnected(3000));
            clients[i].write(logins[i]);
        }
        const char *answers[] = {"# logresp N1IGT-10 verified", "# logresp N1IGT unverified"};
        for (int i = 0; i < 2; ++i) {
            QByteArray got;
            QVERIFY(QTest::qWaitFor([&] {
                got += clients[i].readAll();
                return got.contains("N1ABC>APRS:>fed\r\n");
            }));
            QVERIFY2(got.contains(answers[i]), got);
            QCOMPARE(clients[i].state(), QAbstractSocket::ConnectedState);
        }
    }

    // --count: so many made-up packets to the client once logged in, as fast
    // as it reads them (the benchmarks' load), then a line saying so.
    void madeUpPackets()
    {
        Child server(
            QFileInfo(programUnderTest("KESTREL_BIN")).dir().filePath("aprsis-test-server"),
            {"--port", "0", "--count", "500"});
        QVERIFY(QTest::qWaitFor([&] { return server.out().contains("listening on 127.0.0.1:"); }));
        QTcpSocket client;
        client.connectToHost(
            QHostAddress::LocalHost,
            QString::fromLatin1(server.out()).section(':', -1).trimmed().toUShort());
        QVERIFY(client.waitForConnected(3000));
        client.write("user N1IGT-10 pass 8340 vers T 1\r\n");
        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] { return server.out().contains("sent 500 lines in "); }));
        QVERIFY(QTest::qWaitFor([&] {
            got += client.readAll();
            return got.count(",qA") == 500;
        }));
    }
};

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
