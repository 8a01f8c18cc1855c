// The ISS object on a gateway in-process, fetching from the loopback
// look-up service: what is shown, what is handed to the host, and every
// page that is no good.

#include "support/fixtures.h"
#include "test-servers/httptestserver.h"

using namespace kestrel;
using F = Settings::Field;
using T = StateTexts::Text;

namespace {
const QByteArray kPage = HttpTestServer::issPage("4957.50N", "07200.00W");

// The look-up service is the loopback server; the clock reads 09:05:07 UTC.
struct Iss : InProcess
{
    explicit Iss(const QStringList &settings = {}) : InProcess(settings)
    {
        web.listen();
        web.body = kPage;
        station.writeFile(station.programFile("services.ini"),
                          "[services]\naprs_lookup_host=" + web.host().toLatin1() + "\n");
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7), Qt::UTC));
        start();
    }
    QString text(T t) const { return gateway.texts().text(t); }
    bool on(const char *timer) { return gateway.timer(timer).isActive(); }
    // One run, to its end.
    void run()
    {
        gateway.issRoutine();
        QVERIFY(text(T::IssCaption).endsWith(" > Searching ..."));
        QTRY_VERIFY_WITH_TIMEOUT(!gateway.iss().running(), 25000);
        gateway.mailbox().flush();
    }
    // What the host was last handed to send.
    QByteArray sent() const { return station.mailboxValue("TXData", "String"); }
    HttpTestServer web;
};
} // namespace

class TestIss : public QObject
{
    Q_OBJECT

private slots:
    // The page, reached through three moves on the service's own host, shown
    // and handed to the host.
    void aKnownPositionShownAndSent()
    {
        Iss st;
        st.gateway.settings().setCheck(F::IssObject, true);
        HttpTestServer hops[3];
        HttpTestServer *from = &st.web;
        for (HttpTestServer &hop : hops) {
            QVERIFY(hop.listen());
            from->status = 301;
            from->headers =
                "Location: http://127.0.0.1:" + QByteArray::number(hop.port()) + "/m\r\n";
            from = &hop;
        }
        from->body = kPage;
        st.run();
        QCOMPARE(st.web.requests(), QList<QByteArray>{"GET /cgi-bin/find.cgi?ISS HTTP/1.1"});
        QCOMPARE(hops[2].requests(), QList<QByteArray>{"GET /m HTTP/1.1"});
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        QCOMPARE(
            st.text(T::IssObject),
            QStringLiteral(";ISS      *090507h 4957.50N\\07200.00WS International Space Station"));
        QCOMPARE(st.text(T::IssLine), QStringLiteral("100km/62mi Az:1\u00ba El:75\u00ba"));
        QCOMPARE(st.sent(), ";ISS      *090507h4957.50N\\07200.00WSInternational Space Station");
        QCOMPARE(st.file("ISS.txt"), kPage);
        QVERIFY(st.gateway.iss().above() && st.on("Timer15") && st.on("Timer16"));
        QCOMPARE(st.gateway.iss().progress(), 1.0);
    }

    // With "ISS Object Only" the object goes only while the ISS is at or
    // above the station's horizon; a station without a position of its own
    // cannot tell.
    void onlyAboveTheHorizon_data()
    {
        QTest::addColumn<QByteArray>("latitude");
        QTest::addColumn<bool>("own");  // the station has a position of its own
        QTest::addColumn<bool>("only"); // "ISS Object Only"
        QTest::addColumn<QString>("elevation");
        QTest::addColumn<bool>("sent");
        const auto add = [](const char *name, const char *latitude, bool own, bool only,
                            const QString &elevation, bool sent) {
            QTest::newRow(name) << QByteArray(latitude) << own << only << elevation << sent;
        };
        add("below", "7030.00N", true, true, " El:-2\u00ba", false);
        add("on the horizon", "6851.00N", true, true, " El:0\u00ba", true);
        add("no own position", "6851.00N", false, true, "", false);
        add("no own position, always", "6851.00N", false, false, "", true);
    }
    void onlyAboveTheHorizon()
    {
        QFETCH(QByteArray, latitude);
        QFETCH(bool, own);
        QFETCH(bool, only);
        QFETCH(QString, elevation);
        QFETCH(bool, sent);
        Iss st({only ? "ISS Object Only= 1" : "ISS Object Only= 0"});
        if (!own)
            st.gateway.settings().setText(F::InternetBeaconText, QString());
        st.web.body = HttpTestServer::issPage(latitude, "07200.00W");
        st.run();
        QVERIFY(own ? st.text(T::IssLine).endsWith(elevation) : st.text(T::IssLine).isEmpty());
        QCOMPARE(!st.sent().isEmpty(), sent);
        const bool above = own && !elevation.contains('-');
        QVERIFY(st.gateway.iss().above() == above && st.on("Timer15") == above);
        // Without the "+" no progress bar is started.
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("ISS Position Object"));
        QVERIFY(!st.on("Timer16"));
    }

    void pagesThatAreNoGood_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listening
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        const auto add = [](const char *name, int status, const QByteArray &headers,
                            const QByteArray &body, const QString &reason) {
            QTest::newRow(name) << status << headers << body << reason;
        };
        const QString noRaw = "the page has no \"Raw packet:\" line";
        add("no raw packet", 200, "", "<html>ISS</html>", noRaw);
        add("binary", 200, "", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18), noRaw);
        add("megabytes", 200, "", QByteArray(3 << 20, 'x') + kPage,
            "the look-up page is longer than 1048576 bytes");
        add("short field", 200, "", "Raw packet: N0SAT>APRS:;ISS      *1402",
            "the ISS object ends before its position: ;ISS      *1402");
        add("no backslash", 200, "", QByteArray(kPage).replace("N\\0", "N/0"),
            "the ISS position has no \"\\\" between latitude and longitude: 4957.50N/07200.00W");
        add("garbage position", 200, "", HttpTestServer::issPage("49x7.50N", "07200.00W"),
            "the ISS position cannot be read: 49x7.50N\\\\07200.00W");
        add("redirect to another host", 302, "Location: http://localhost:1/\r\n", kPage,
            "the look-up service sent the station from http://127.0.0.1:PORT/cgi-bin/find.cgi?ISS "
            "to http://localhost:1/");
        // The same page again and again: the fourth redirect is one too many.
        add("endless redirects", 302, "Location: http://127.0.0.1:PORT/x\r\n", kPage,
            "the look-up service redirected more than 3 times");
        add("server error", 500, "", kPage,
            "the look-up service failed: Error transferring "
            "http://127.0.0.1:PORT/cgi-bin/find.cgi?ISS - server replied: Test");
        add("moved, but not where", 302, "", kPage, "the look-up service answered HTTP 302");
        add("nothing listening", 0, "", "", "the look-up service failed: Connection refused");
    }
    void pagesThatAreNoGood()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        Iss st;
        st.gateway.settings().setCheck(F::IssObject, true);
        const QByteArray port = QByteArray::number(st.web.port());
        if (status == 0)
            st.gateway.services().aprsLookupHost = "127.0.0.1:1";
        st.web.status = status;
        st.web.headers = QByteArray(headers).replace("PORT", port);
        st.web.body = body;
        st.run();
        st.run();
        QCOMPARE(st.text(T::IssObject), QStringLiteral(" > WEB Error!"));
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        QVERIFY(st.sent().isEmpty());
        QVERIFY(!st.on("Timer16")); // until a run gets that far
        QCOMPARE(st.web.requests().size(), status == 0 ? 0 : headers.contains("PORT") ? 8 : 2);
        // Said once while it stays the same.
        QCOMPARE(errorLines(st.station), QStringList{"ISS " + reason.replace("PORT", port)});
    }

    // A service that moves its page is followed on its own host, from http
    // to https but never back.
    void redirectsFollowed_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("followed");
        const auto add = [](const char *name, const char *from, const char *to, bool followed) {
            QTest::newRow(name) << QString(from) << QString(to) << followed;
        };
        add("same host", "http://a.example/x", "http://a.example:8080/y", true);
        add("to https", "http://a.example/x", "https://A.example/x", true);
        add("back to http", "https://a.example/x", "http://a.example/x", false);
        add("another host", "http://a.example/x", "http://b.example/x", false);
    }
    void redirectsFollowed()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QCOMPARE(IssRoutine::followsRedirect(QUrl(from), QUrl(to)), followed);
    }

    // One fetch at a time; a page that comes after the object was switched
    // off is not sent, but one asked for with the object off is.
    void switchedOffWhileThePageComes()
    {
        Iss st;
        st.gateway.settings().setCheck(F::IssObject, true);
        st.web.delayMs = 300;
        st.gateway.timer14Tick();
        st.gateway.timer14Tick();
        st.gateway.settings().setCheck(F::IssObject, false);
        QTRY_VERIFY(!st.gateway.iss().running());
        st.gateway.mailbox().flush();
        QVERIFY(st.sent().isEmpty());
        QCOMPARE(st.web.requests().size(), 1);
        st.run();
        QVERIFY(!st.sent().isEmpty());
    }

    void servicesFile()
    {
        TempStation s;
        const QString path = s.programFile("services.ini");
        const auto fields = [](const Services &v) {
            return QStringList{v.aprsLookupHost, v.callbookHost, v.siteUrl,
                               QString::number(v.logLimitKb)};
        };
        QCOMPARE(fields(Services::read(path)),
                 QStringList({"www.findu.com", "www.qrz.com", "", "0"}));
        s.writeFile(path, "[services]\ncallbook_host=127.0.0.1:8080/\naprs_lookup_host=\n"
                          "site_url=http://example.org/zeno\nlog_limit_kb=lots\n");
        QStringList problems;
        const Services r = Services::read(path, &problems);
        QCOMPARE(fields(r),
                 QStringList({"www.findu.com", "127.0.0.1:8080/", "http://example.org/zeno", "0"}));
        QCOMPARE(
            problems,
            QStringList({path + ": aprs_lookup_host is empty; the default www.findu.com is used",
                         path + ": log_limit_kb \"lots\" is not a size in kB from 0 to 1048576; "
                                "the logs are not limited"}));
        QCOMPARE(Services::address(r.callbookHost, "/db/N0CALL"),
                 QUrl("http://127.0.0.1:8080/db/N0CALL"));
        QCOMPARE(Services::address("https://lookup.example", "/find?ISS"),
                 QUrl("https://lookup.example/find?ISS"));
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
