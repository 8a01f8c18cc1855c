// The ISS object in-process, fetched from the loopback look-up service.

#include "support/fixtures.h"
#include "test-servers/httptestserver.h"

using namespace kestrel;
using F = Settings::Field;
using T = StateTexts::Text;

namespace {
const QByteArray kPage = HttpTestServer::issPage("4957.50N", "07200.00W");

// The look-up service is the loopback server; the clock reads 09:05:07 UTC.
// With more services lines, the ISS's elements are there too.
struct Iss : InProcess
{
    explicit Iss(const QStringList &settings = {}, const QByteArray &services = {})
        : InProcess(settings)
    {
        web.listen();
        station.writeFile(station.programFile("services.ini"),
                          "[services]\naprs_lookup_host=" + web.host().toLatin1() + "\n" +
                              services);
        if (!services.isEmpty())
            station.writeFile(station.programFile("elements.txt"), sample::kIssElements);
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7), Qt::UTC));
        start();
    }
    QString text(T t) const { return gateway.texts().text(t); }
    bool on(const char *timer) { return gateway.timer(timer).isActive(); }
    void run()
    {
        gateway.issRoutine();
        if (!gateway.iss().running())
            return gateway.mailbox().flush(); // from the elements alone
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
    // The page, moved on the service's host (http to https, not back), shown and sent;
    // with "ISS Object Only" only while the ISS is at or above the horizon. "+": on.
    void objectShownAndSent_data()
    {
        QTest::addColumn<QByteArray>("latitude");
        QTest::addColumn<bool>("only");    // "ISS Object Only", else "ISS Object"
        QTest::addColumn<QString>("line"); // empty: the station has no position
        const auto add = [](const char *name, const char *latitude, bool only,
                            const QString &line) {
            QTest::newRow(name) << QByteArray(latitude) << only << line;
        };
        add("above", "4957.50N", false, "100km/62mi Az:1\u00ba El:75\u00ba");
        add("below", "7030.00N", true, "2384km/1481mi Az:0\u00ba El:-2\u00ba");
        add("on the horizon", "6851.00N", true, "2201km/1367mi Az:0\u00ba El:0\u00ba");
        add("no own position", "6851.00N", true, "");
        add("no own position, always", "6851.00N", false, "");
    }
    void objectShownAndSent()
    {
        QFETCH(QByteArray, latitude);
        QFETCH(bool, only);
        QFETCH(QString, line);
        const bool own = !line.isEmpty(), above = own && !line.contains('-');
        Iss st({only ? "ISS Object Only= 1" : "ISS Object= 1"});
        if (!own)
            st.gateway.settings().setText(F::InternetBeaconText, QString());
        HttpTestServer moved;
        QVERIFY(moved.listen());
        moved.body = HttpTestServer::issPage(latitude, "07200.00W");
        st.web.status = 301;
        st.web.headers = "Location: http://" + moved.host().toLatin1() + "/m\r\n";
        st.run();
        QCOMPARE(st.file("ISS.txt"), moved.body);
        const QString position = latitude + "\\07200.00WS";
        QCOMPARE(st.text(T::IssObject),
                 ";ISS      *090507h " + position + " International Space Station");
        QCOMPARE(st.sent(), above || !only ? ";ISS      *090507h" + position.toLatin1() +
                                                 "International Space Station"
                                           : QByteArray());
        QCOMPARE(st.text(T::IssLine), line);
        QVERIFY(st.gateway.iss().above() == above && st.on("Timer15") == above);
        QCOMPARE(st.text(T::IssCaption), (only ? "" : "+") + QStringLiteral("ISS Position Object"));
        QCOMPARE(st.on("Timer16"), !only);
        const QUrl http("http://a.example/x"), https("https://A.example/x");
        QVERIFY(IssRoutine::followsRedirect(http, https) &&
                !IssRoutine::followsRedirect(https, http));
    }

    // Each reason said once while it stays the same, nothing sent.
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

    // iss_source=elements: where the elements put the ISS, the service never asked;
    // both: the elements once the look-up has failed, and that failure said.
    void objectFromElements_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("days"); // after the epoch
        QTest::newRow("elements") << QByteArray("elements") << 0 << 0;
        QTest::newRow("both") << QByteArray("both") << 1 << 0;
        QTest::newRow("stale") << QByteArray("elements") << 0 << 15;
    }
    void objectFromElements()
    {
        QFETCH(QByteArray, source);
        Iss st({"ISS Object= 1"}, "iss_source=" + source + "\n");
        st.web.status = 500;
        QFETCH(int, days);
        st.clock.advance(days * 86400);
        st.run();
        if (days > 14) {
            QVERIFY(st.sent().isEmpty());
            QCOMPARE(errorLines(st.station),
                     QStringList{"ISS the ISS's elements in elements.txt are more than 14 days "
                                 "old; nothing is sent until they are renewed"});
            // Fresh again (the clock back): sent, and nothing more said.
            st.clock.advance(-days * 86400);
            st.run();
            QVERIFY(!st.sent().isEmpty());
            QCOMPARE(errorLines(st.station).size(), 1);
            return;
        }
        QTEST(int(st.web.requests().size()), "asked");
        const auto seen = st.gateway.satellites().sighting("ISS", st.clock.now());
        QVERIFY(seen && seen->look.elevationDeg < 0);
        const position::Text p =
            position::fromDegrees(seen->under.latitudeDeg, seen->under.longitudeDeg);
        QCOMPARE(st.sent(), ";ISS      *090507h" + (p.latitude + '\\' + p.longitude).toLatin1() +
                                "SInternational Space Station");
        QCOMPARE(st.text(T::IssLine).section(" Az:", 1),
                 QString("%1\u00ba El:%2\u00ba")
                     .arg(std::lround(seen->look.azimuthDeg))
                     .arg(std::lround(seen->look.elevationDeg)));
        QCOMPARE(errorLines(st.station).size(), int(source == "both"));
        QCOMPARE(st.gateway.iss().above(), false);
    }
};

QTEST_GUILESS_MAIN(TestIss)
#include "tst_iss.moc"
