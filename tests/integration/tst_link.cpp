// kestrel --headless against the loopback APRS-IS server: the login on the
// wire, and how it prints the bytes it gets.

#include "support/fixtures.h"

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    // The relay command goes before the login, once (the server answers it
    // "# Invalid login command" and closes on a second). A refused login closes
    // the link; what comes on an open one is printed in the terminal's encoding.
    void loginOnTheWire_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("wire"); // %1: the server's port
        const QByteArray login = sample::kLogin + "\r\n";
        QTest::newRow("relay") << "Proxy Address=relay.example:23"
                               << "127.0.0.1 %1\r\n" + login;
        QTest::newRow("refused") << "Validation#=12345"
                                 << QByteArray(login).replace(" 8340 ", " 12345 ");
    }
    void loginOnTheWire()
    {
        QFETCH(QString, setting);
        QFETCH(QByteArray, wire);
        const bool open = QTest::currentDataTag() == QByteArray("relay");
        Headless h({setting});
        qputenv("LC_ALL", "C.UTF-8");
        h.start({"--connect", "--list-all"});
        QVERIFY(h.loggedIn(8000));
        QTRY_COMPARE(h.server.clientConnected(), open);
        if (open) // nothing shows that no second relay line comes: wait out its 2 s timer
            QTest::qWait(2500);
        QCOMPARE(h.server.raw(), wire.replace("%1", QByteArray::number(h.server.port())));
        if (open) {
            h.server.push(QByteArray(100 * 1024, 'x') + "\r\n" +
                          QByteArray("N1ABC>APRS:\0\x80\xff!\r\n", 17));
            QVERIFY(h.says("Internet Packet List + \\x00\xc2\x80\xc3\xbf!\n"));
            QVERIFY(h.says("Not gated (overlong line): 1\n"));
        } else { // errors.txt's lines also go to standard error, for the journal
            QVERIFY(h.complains("\"unverified\": the link is closed"));
        }
        QCOMPARE(h.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
