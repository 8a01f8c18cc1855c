// The ISS object on a gateway in-process, fetching from the loopback
// look-up service: what is shown, what reaches the host, and every page
// that is no good.

#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "test-servers/httptestserver.h"
#include "support/tempstation.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;
using T = StateTexts::Text;

namespace {
struct Station
{
    explicit Station(const QStringList &settings = {})
    {
        web.listen();
        s.writeFile(s.programFile("services.ini"),
                    "[services]\naprs_lookup_host=" + web.host().toLatin1() + "\n");
        s.writeSettings(settings);
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 0, 0)));
        gateway.start();
        QObject::connect(&gateway.mailbox(), &HostMailbox::commandWritten,
                         [this](const QString &summary) {
                             if (summary.startsWith("TXDATA "))
                                 sent << summary.mid(7);
                         });
    }
    QString text(T t) const { return gateway.texts().text(t); }
    // One run, to its end.
    void run()
    {
        gateway.issRoutine();
        QVERIFY(text(T::IssCaption).endsWith(" > Searching ..."));
        QTRY_VERIFY_WITH_TIMEOUT(!gateway.iss().running(), 25000);
        gateway.mailbox().flush();
    }
    TempStation s;
    HttpTestServer web;
    mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
    Clock clock;
    Gateway gateway{ProgramFolder(s.programDir()), store, clock};
    QStringList sent;
};
} // namespace

class TestIss : public QObject
{
    Q_OBJECT

private slots:
    void pieces()
    {
        const position::Text p{"4957.50N", "07200.00W"};
        // UTC hours, minutes, seconds and "h": a time stamp receivers accept.
        QCOMPARE(
            iss::objectText(p, QTime(9, 5, 7)),
            QStringLiteral(";ISS      *090507h4957.50N\\07200.00WSInternational Space Station"));
        QCOMPARE(
            iss::displayText(p, QTime(9, 5, 7)),
            QStringLiteral(";ISS      *090507h 4957.50N\\07200.00WS International Space Station"));
        QCOMPARE(iss::line(100.1, 1, 75), QStringLiteral("100km/62mi Az:1\u00ba El:75\u00ba"));
        QCOMPARE(iss::positionFromPage(HttpTestServer::issPage("4957.50N", "07200.00W"))->latitude,
                 QStringLiteral("4957.50N"));
    }

    void aKnownPositionShownAndSent()
    {
        Station st;
        st.gateway.settings().setCheck(F::IssObject, true);
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        st.web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        st.run();
        QCOMPARE(st.web.requests(), QList<QByteArray>{"GET /cgi-bin/find.cgi?ISS HTTP/1.1"});
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        // The clock reads 14:00:00 local time; the object carries UTC.
        const QString utc = st.clock.now().toUTC().toString("HHmmss");
        QCOMPARE(st.text(T::IssObject),
                 ";ISS      *" + utc + "h 4957.50N\\07200.00WS International Space Station");
        QCOMPARE(st.text(T::IssLine), QStringLiteral("100km/62mi Az:1\u00ba El:75\u00ba"));
        QCOMPARE(st.sent, QStringList{";ISS      *" + utc +
                                      "h4957.50N\\07200.00WSInternational Space Station"});
        QCOMPARE(TempStation::readFile(st.s.programFile("ISS.txt")), st.web.body);
        QVERIFY(st.gateway.iss().above());
        QVERIFY(st.gateway.timer("Timer15").isActive());
        QVERIFY(st.gateway.timer("Timer16").isActive());
        QCOMPARE(st.gateway.iss().progress(), 1.0);
    }

    void onlyAboveTheHorizon()
    {
        Station st({"ISS Object Only= 1"});
        st.web.body = HttpTestServer::issPage("7030.00N", "07200.00W");
        st.run();
        QVERIFY(st.text(T::IssLine).endsWith(" El:-2\u00ba"));
        QVERIFY(st.sent.isEmpty());
        QVERIFY(!st.gateway.iss().above());
        QVERIFY(!st.gateway.timer("Timer15").isActive() && !st.gateway.iss().lampVisible());
        // Without the "+" no progress bar is started.
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("ISS Position Object"));
        QVERIFY(!st.gateway.timer("Timer16").isActive());

        st.web.body = HttpTestServer::issPage("6851.00N", "07200.00W");
        st.run();
        QVERIFY(st.text(T::IssLine).endsWith(" El:0\u00ba"));
        QCOMPARE(st.sent.size(), 1);
        QVERIFY(st.gateway.iss().above() && st.gateway.timer("Timer15").isActive());

        // A station with no position of its own cannot tell; nothing is sent.
        st.gateway.settings().setText(F::InternetBeaconText, QString());
        st.run();
        QVERIFY(st.text(T::IssLine).isEmpty());
        QCOMPARE(st.sent.size(), 1);
        st.gateway.settings().setCheck(F::IssObjectOnly, false);
        st.run();
        QCOMPARE(st.sent.size(), 2);
    }

    void pagesThatAreNoGood_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QByteArray>("body");
        const QByteArray good = HttpTestServer::issPage("4957.50N", "07200.00W");
        QTest::newRow("no raw packet") << 200 << QByteArray() << QByteArray("<html>ISS</html>");
        QTest::newRow("empty") << 200 << QByteArray() << QByteArray();
        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>(i * 37 % 256);
        QTest::newRow("binary") << 200 << QByteArray() << binary;
        QTest::newRow("megabytes") << 200 << QByteArray() << QByteArray(3 << 20, 'x') + good;
        QTest::newRow("short field")
            << 200 << QByteArray() << QByteArray("Raw packet: N0SAT>APRS:;ISS      *1402");
        QTest::newRow("no backslash")
            << 200 << QByteArray()
            << HttpTestServer::issPage("4957.50N", "07200.00W").replace("N\\0", "N/0");
        QTest::newRow("garbage position")
            << 200 << QByteArray() << HttpTestServer::issPage("49x7.50N", "07200.00W");
        QTest::newRow("redirect to another host")
            << 302 << QByteArray("Location: http://localhost:1/\r\n") << good;
        // The same page again and again: the fourth redirect is one too many.
        QTest::newRow("endless redirects")
            << 302 << QByteArray("Location: http://127.0.0.1:PORT/x\r\n") << good;
        QTest::newRow("server error") << 500 << QByteArray() << good;
    }

    void pagesThatAreNoGood()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, body);
        Station st;
        st.gateway.settings().setCheck(F::IssObject, true);
        st.web.status = status;
        st.web.headers = QByteArray(headers).replace("PORT", QByteArray::number(st.web.port()));
        st.web.body = body;
        st.run();
        QCOMPARE(st.text(T::IssObject), QStringLiteral(" > WEB Error!"));
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        QVERIFY(st.sent.isEmpty());
        QVERIFY(!st.gateway.timer("Timer16").isActive()); // until a run gets that far
        QCOMPARE(st.web.requests().size(), headers.contains("PORT") ? 4 : 1);
        // Said once in errors.txt while it stays the same.
        st.run();
        QCOMPARE(TempStation::readFile(st.s.programFile("errors.txt")).count("ISS 06-12-26 "), 1);
    }

    void redirectsFollowed_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("followed");
        QTest::newRow("same host") << "http://a.example/x"
                                   << "http://a.example:8080/y" << true;
        QTest::newRow("to https") << "http://a.example/x"
                                  << "https://A.example/x" << true;
        QTest::newRow("back to http") << "https://a.example/x"
                                      << "http://a.example/x" << false;
        QTest::newRow("another host") << "http://a.example/x"
                                      << "http://b.example/x" << false;
    }

    void redirectsFollowed()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QCOMPARE(IssRoutine::followsRedirect(QUrl(from), QUrl(to)), followed);
    }

    void threeRedirectsOnTheSameHost()
    {
        Station st;
        HttpTestServer hops[3];
        HttpTestServer *from = &st.web;
        for (HttpTestServer &hop : hops) {
            hop.listen();
            from->status = 301;
            from->headers =
                "Location: http://127.0.0.1:" + QByteArray::number(hop.port()) + "/moved?ISS\r\n";
            from->body = "moved";
            from = &hop;
        }
        from->body = HttpTestServer::issPage("4957.50N", "07200.00W");
        st.run();
        QCOMPARE(st.sent.size(), 1);
        QCOMPARE(hops[2].requests(), QList<QByteArray>{"GET /moved?ISS HTTP/1.1"});
        QCOMPARE(TempStation::readFile(st.s.programFile("ISS.txt")), from->body);
    }

    void switchedOffWhileTheTimersPageComes()
    {
        Station st;
        st.gateway.settings().setCheck(F::IssObject, true);
        st.web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        st.web.delayMs = 300;
        st.gateway.timer14Tick();
        st.gateway.settings().setCheck(F::IssObject, false);
        QTRY_VERIFY(!st.gateway.iss().running());
        st.gateway.mailbox().flush();
        QVERIFY(st.sent.isEmpty());
        // Asked for with the object off, it goes.
        st.run();
        QCOMPARE(st.sent.size(), 1);
    }

    void oneFetchAtATimeAndNoService()
    {
        Station st;
        st.web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        st.web.delayMs = 300;
        st.gateway.issRoutine();
        st.gateway.issRoutine(); // while the first is under way
        QTRY_VERIFY(!st.gateway.iss().running());
        QCOMPARE(st.web.requests().size(), 1);

        // Nothing listening on the service's port.
        st.gateway.services().aprsLookupHost = "127.0.0.1:1";
        st.run();
        QCOMPARE(st.text(T::IssObject), QStringLiteral(" > WEB Error!"));
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("ISS Position Object"));
        QVERIFY(TempStation::readFile(st.s.programFile("errors.txt")).contains("ISS "));
    }

    void servicesFile()
    {
        TempStation s;
        const QString path = s.programFile("services.ini");
        Services d = Services::read(path);
        QCOMPARE(d.aprsLookupHost, QStringLiteral("www.findu.com"));
        QCOMPARE(d.callbookHost, QStringLiteral("www.qrz.com"));
        QVERIFY(d.siteUrl.isEmpty());
        s.writeFile(path, "[services]\ncallbook_host=127.0.0.1:8080\naprs_lookup_host=\n"
                          "site_url=http://example.org/zeno\n");
        QStringList problems;
        const Services r = Services::read(path, &problems);
        QCOMPARE(r.aprsLookupHost, QStringLiteral("www.findu.com"));
        QCOMPARE(r.callbookHost, QStringLiteral("127.0.0.1:8080"));
        QCOMPARE(r.siteUrl, QStringLiteral("http://example.org/zeno"));
        QCOMPARE(problems.size(), 1);
        QCOMPARE(Services::address(r.callbookHost, "/db/N0CALL").toString(),
                 QStringLiteral("http://127.0.0.1:8080/db/N0CALL"));
        QCOMPARE(Services::address("https://lookup.example/", "/cgi-bin/find.cgi?ISS").toString(),
                 QStringLiteral("https://lookup.example/cgi-bin/find.cgi?ISS"));
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
