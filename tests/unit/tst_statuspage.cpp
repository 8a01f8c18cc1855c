// The status page from its template and the lists, as the bytes go out.

#include "web/statuspage.h"

#include <QTest>

using namespace kestrel;

namespace {
statuspage::Values values()
{
    statuspage::Values v;
    v.callSign = "N1IGT-10";
    v.mhExpTime = "2";
    v.comments = "<b>Welcome</b>";
    v.beacon = "!4903.50N/07201.75W-Test";
    v.dateTime = "06/12/2026 14:00";
    v.connection = "CONNECTED TO: 127.0.0.1 <TEST0>";
    v.record = "N1ABC-7 <script>x</script>";
    v.micE = "Course:251\u00b0 Speed:37 km/h (En Route)";
    v.visitor = "192.0.2.7";
    v.lookupHost = "www.findu.com";
    return v;
}
} // namespace

class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    void placeholders()
    {
        statuspage::Values v = values();
        const auto fill = [&v](const QByteArray &t) { return statuspage::fillTemplate(t, v); };
        QCOMPARE(fill("#V1 and #V1\r\n"), QStringLiteral("N1IGT-10 and N1IGT-10"));
        // Only the first tag of a line is filled.
        QCOMPARE(fill("#V1 #V2\r\n"), QStringLiteral("N1IGT-10 #V2"));
        QCOMPARE(fill("#VX #V1\r\n"), QStringLiteral("#VX #V1"));
        // Lines go out joined, without line ends.
        QCOMPARE(fill("<p>\r\n#VM\r\n</p>\r\n"), QStringLiteral("<p>\"N1IGT-10\"</p>"));
        QCOMPARE(fill("[#V7][#VI]"), QStringLiteral("[][#VI]"));
        QCOMPARE(fill("[#VI]"), QStringLiteral("[]"));
        v.issLine = "100km/62mi Az:1\u00ba El:75\u00ba";
        QCOMPARE(fill("[#VI]"), "[ISS >>> " + v.issLine + "]");
        QCOMPARE(fill("#V9 #V0"), QStringLiteral("4903.50N #V0"));
        QCOMPARE(fill("#V0"), QStringLiteral("07201.75W"));
        QCOMPARE(fill("#V3#V3|#V8|#V5"), QStringLiteral("22|#V8|#V5"));
        // The operator's own texts as written; what came from the air or
        // the link escaped.
        QCOMPARE(fill("#V4"), QStringLiteral("<b>Welcome</b>"));
        QCOMPARE(fill("#V2"), QStringLiteral("CONNECTED TO: 127.0.0.1 &lt;TEST0&gt;"));
        QCOMPARE(fill("#V6"), "N1ABC-7 &lt;script&gt;x&lt;/script&gt; " + v.micE);
    }

    void dateAndTimeToTheSecond_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("en_US") << "en_US"
                               << "12/6/26 2:00:07 PM";
        QTest::newRow("fr_CA, units") << "fr_CA"
                                      << "2026-12-06 14 h 00 min 07 s";
        QTest::newRow("zh_CN, zone first") << "zh_CN"
                                           << "2026/12/6 14:00:07";
    }

    void dateAndTimeToTheSecond()
    {
        QFETCH(QString, locale);
        QFETCH(QString, shown);
        QCOMPARE(
            statuspage::dateTime(QDateTime(QDate(2026, 12, 6), QTime(14, 0, 7)), QLocale(locale)),
            shown);
    }

    void generatedTables()
    {
        const statuspage::Values v = values();
        QStringList gated;
        for (int i = 1; i <= 25; ++i)
            gated << QString("row%1").arg(i, 2, 10, QChar('0'));
        const QByteArray page = statuspage::render("<html>\r\n", v,
                                                   {"N1ABC-7   06-12-26 13:59:00 ",
                                                    "N2XYZ-9   06-12-26 14:00:00 RS0ISS*,WIDE2-1",
                                                    "N3<X>&\"   06-12-26 14:00:01 <img src=x>"},
                                                   gated);
        QVERIFY(page.startsWith("<html><div align=\"center\"><center><table border=\"1\">"
                                "<tr><th>Station</th><th>Last Heard</th><th>Path</th></tr>"));
        QVERIFY(page.contains(
            "<tr><th><H2><a href=\"http://www.findu.com/cgi-bin/find.cgi?N1ABC-7\">N1ABC-7</a>"
            "</H2></th><th>06-12-26 13:59:00</th><th>Direct</th></tr>"));
        QVERIFY(page.contains("<th>RS0ISS*,WIDE2-1</th>"));
        // Nothing from the air becomes markup, in a cell or in a link.
        QVERIFY(!page.contains("<img") && !page.contains("<X>"));
        QVERIFY(page.contains("<th>&lt;img src=x&gt;</th>"));
        QVERIFY(page.contains("find.cgi?N3%3CX%3E%26%22\">N3&lt;X&gt;&amp;&quot;</a>"));
        // The last twenty rows: ten frames.
        QVERIFY(page.endsWith("<p>Gated Frames:</p><p>row06</p><p>row07</p><p>row08</p>"
                              "<p>row09</p><p>row10</p><p>row11</p><p>row12</p><p>row13</p>"
                              "<p>row14</p><p>row15</p><p>row16</p><p>row17</p><p>row18</p>"
                              "<p>row19</p><p>row20</p><p>row21</p><p>row22</p><p>row23</p>"
                              "<p>row24</p><p>row25</p>"));
        QCOMPARE(statuspage::render("", v, {}, gated.mid(5)).count("<p>row"), 20);
        // An empty MHeard list keeps its title row.
        QCOMPARE(statuspage::render("", v, {}, {}),
                 QByteArray("<div align=\"center\"><center><table border=\"1\"><tr><th>Station"
                            "</th><th>Last Heard</th><th>Path</th></tr></table></center></div>"
                            "<p>Gated Frames:</p>"));
    }
};

QTEST_GUILESS_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
