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
    void run()
    {
        gateway.issRoutine();
        QVERIFY(text(T::IssCaption).endsWith(" > Searching ..."));
        QTRY_VERIFY_WITH_TIMEOUT(!gateway.iss().running(), 25000);
        gateway.mailbox().flush();
    }
    QByteArray sent() const { return station.mailboxValue("TXData", "String"); }
    HttpTestServer web;
};
} // namespace

class TestIss : public QObject
{
    Q_OBJECT

private slots:
    // The page, moved on the service's own host, shown and handed to the
    // host. With "ISS Object Only" it goes only while the ISS is at or above
    // the station's horizon; a station without a position cannot tell. The
    // "+" of a switched-on object starts the progress bar.
    void objectShownAndSent_data()
    {
        QTest::addColumn<QByteArray>("latitude");
        QTest::addColumn<bool>("own");  // the station has a position of its own
        QTest::addColumn<bool>("only"); // "ISS Object Only", else "ISS Object"
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("sent");
        const auto add = [](const char *name, const char *latitude, bool own, bool only,
                            const QString &line, bool sent) {
            QTest::newRow(name) << QByteArray(latitude) << own << only << line << sent;
        };
        add("above", "4957.50N", true, false, "100km/62mi Az:1\u00ba El:75\u00ba", true);
        add("below", "7030.00N", true, true, "2384km/1481mi Az:0\u00ba El:-2\u00ba", false);
        add("on the horizon", "6851.00N", true, true, "2201km/1367mi Az:0\u00ba El:0\u00ba", true);
        add("no own position", "6851.00N", false, true, "", false);
        add("no own position, always", "6851.00N", false, false, "", true);
    }
    void objectShownAndSent()
    {
        QFETCH(QByteArray, latitude);
        QFETCH(bool, own);
        QFETCH(bool, only);
        QFETCH(QString, line);
        QFETCH(bool, sent);
        Iss st({only ? "ISS Object Only= 1" : "ISS Object= 1"});
        if (!own)
            st.gateway.settings().setText(F::InternetBeaconText, QString());
        HttpTestServer moved;
        QVERIFY(moved.listen());
        moved.body = HttpTestServer::issPage(latitude, "07200.00W");
        st.web.status = 301;
        st.web.headers =
            "Location: http://127.0.0.1:" + QByteArray::number(moved.port()) + "/m\r\n";
        st.run();
        QCOMPARE(st.file("ISS.txt"), moved.body);
        const QString position = latitude + "\\07200.00WS";
        QCOMPARE(st.text(T::IssObject),
                 ";ISS      *090507h " + position + " International Space Station");
        QCOMPARE(st.sent(),
                 sent ? ";ISS      *090507h" + position.toLatin1() + "International Space Station"
                      : QByteArray());
        QCOMPARE(st.text(T::IssLine), line);
        const bool above = own && !line.contains('-');
        QVERIFY(st.gateway.iss().above() == above && st.on("Timer15") == above);
        QCOMPARE(st.text(T::IssCaption), (only ? "" : "+") + QStringLiteral("ISS Position Object"));
        QCOMPARE(st.on("Timer16"), !only);
    }

    // Each reason said once while it stays the same, and nothing sent.
    void pagesThatAreNoGood_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        const auto add = [](const char *name, int status, const QByteArray &headers,
                            const QByteArray &body, const QString &reason) {
            QTest::newRow(name) << status << headers << body << reason;
        };
        add("no raw packet", 200, "", "<html>ISS</html>", "the page has no \"Raw packet:\" line");
        add("no object", 200, "", "Raw packet: N0SAT>APRS:>ISS",
            "the raw packet line holds no \";ISS\" object");
        add("short field", 200, "", "Raw packet: N0SAT>APRS:;ISS      *1402",
            "the ISS object ends before its position: ;ISS      *1402");
        add("no backslash", 200, "", QByteArray(kPage).replace("N\\0", "N/0"),
            "the ISS position has no \"\\\" between latitude and longitude: 4957.50N/07200.00W");
        add("garbage position", 200, "", HttpTestServer::issPage("49x7.50N", "07200.00W"),
            "the ISS position cannot be read: 49x7.50N\\\\07200.00W");
        add("megabytes", 200, "", QByteArray(3 << 20, 'x') + kPage,
            "the look-up page is longer than 1048576 bytes");
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
    }
    void pagesThatAreNoGood()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        Iss st({"ISS Object= 1"});
        const QByteArray port = QByteArray::number(st.web.port());
        st.web.status = status;
        st.web.headers = QByteArray(headers).replace("PORT", port);
        st.web.body = body;
        st.run();
        st.run();
        QCOMPARE(st.text(T::IssObject), QStringLiteral(" > WEB Error!"));
        QCOMPARE(st.text(T::IssCaption), QStringLiteral("+ISS Position Object"));
        QVERIFY(st.sent().isEmpty());
        QCOMPARE(st.web.requests().size(), headers.contains("PORT") ? 8 : 2);
        QCOMPARE(errorLines(st.station), QStringList{"ISS " + reason.replace("PORT", port)});
    }

    // A service that moves its page is followed on its own host (see the
    // moves above), from http to https but never back.
    void redirectsFollowed()
    {
        const QUrl http("http://a.example/x"), https("https://A.example/x");
        QVERIFY(IssRoutine::followsRedirect(http, https));
        QVERIFY(!IssRoutine::followsRedirect(https, http));
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
