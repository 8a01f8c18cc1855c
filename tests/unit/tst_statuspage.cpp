// The status page as a pure function of the template, the station's values
// and its lists.

#include "web/statuspage.h"

#include <QTest>

using namespace kestrel;

class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    // The first "#V" tag of a line is filled wherever it stands on the line;
    // the operator's texts go in as written, what came from outside escaped.
    // Then the stations heard, linked to the look-up service, and the last
    // twenty rows of the gated frames. Out as Latin-1.
    void render_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("iss");
        QTest::addColumn<QStringList>("mheard");
        QTest::addColumn<QStringList>("gated");
        QTest::addColumn<QStringList>("expected"); // template, table rows, frames
        const auto row = [](const char *name, const QByteArray &page, const QString &filled,
                            const QString &iss = {}) {
            QTest::newRow(name) << page << iss << QStringList() << QStringList()
                                << QStringList{filled, "", ""};
        };
        const auto lists = [](const char *name, const QStringList &mheard, const QString &rows,
                              const QStringList &gated = {}, const QString &frames = {}) {
            QTest::newRow(name) << QByteArray() << QString() << mheard << gated
                                << QStringList{"", rows, frames};
        };
        row("operator's texts", "#VM\r\n#V3|\r\n#V4|\r\n#V5",
            "\"N1IGT-10\"2|<b>Hi</b>|06/12 14:00");
        row("beacon position", "#V9/\r\n#V0", "4903.50N/07201.75W");
        row("outside texts escaped", "#V2|\r\n#V6|\r\n#V8",
            "TO: &lt;T&gt;|N1ABC-7 &lt;s&gt;x&amp; 251\u00b0 &quot;R&quot;|192.0.2.7");
        row("V7 and VI without the ISS", "[#V7]\r\n[#VI]", "[][]");
        row("VI escaped", "[#VI]", "[ISS >>> Az:1&lt;2]", "Az:1<2");
        row("first tag, each on the line", "#V1 #V1 #V3", "N1IGT-10 N1IGT-10 #V3");
        row("first tag of none", "#VX #V1\r\nx#V", "#VX #V1x#V");
        row("any line end", "<p>\r\na\rb\nc\r\n</p>\r\n", "<p>abc</p>");
        row("Latin-1", "90\xb0", "90\u00b0");
        const QString link = "<tr><th><H2><a href=\"http://www.findu.com/cgi-bin/find.cgi?";
        lists("heard direct", {"N1ABC-7   06-12-26 13:59:00 "},
              link +
                  "N1ABC-7\">N1ABC-7</a></H2></th><th>06-12-26 13:59:00</th><th>Direct</th></tr>");
        lists("heard by a path", {"N2XY-9    06-12-26 14:00:00 RS0ISS*,WIDE2-1"},
              link + "N2XY-9\">N2XY-9</a></H2></th><th>06-12-26 14:00:00</th><th>RS0ISS*,WIDE2-1"
                     "</th></tr>");
        lists("from the air, as text", {"N3<X>&\"   06-12-26 14:00:01 <img src=x>"},
              link + "N3%3CX%3E%26%22\">N3&lt;X&gt;&amp;&quot;</a></H2></th><th>06-12-26 "
                     "14:00:01</th><th>&lt;img src=x&gt;</th></tr>",
              {"N4>:<b>&\u00e9"}, "<p>N4&gt;:&lt;b&gt;&amp;\u00e9</p>");
        QStringList gated;
        QString last;
        for (int i = 1; i <= 25; ++i) {
            gated << QString("f%1").arg(i);
            last += i > 5 ? QString("<p>f%1</p>").arg(i) : QString();
        }
        lists("last twenty rows gated", {}, "", gated, last);
    }

    void render()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, iss);
        QFETCH(QStringList, mheard);
        QFETCH(QStringList, gated);
        QFETCH(QStringList, expected);
        const statuspage::Values v{
            "N1IGT-10",    "2",         "<b>Hi</b>",     "!4903.50N/07201.75W-Test",
            "06/12 14:00", "TO: <T>",   "N1ABC-7 <s>x&", "251\u00b0 \"R\"",
            iss,           "192.0.2.7", "www.findu.com"};
        QCOMPARE(statuspage::render(page, v, mheard, gated),
                 (expected[0] +
                  "<div align=\"center\"><center><table border=\"1\"><tr><th>Station"
                  "</th><th>Last Heard</th><th>Path</th></tr>" +
                  expected[1] + "</table></center></div><p>Gated Frames:</p>" + expected[2])
                     .toLatin1());
    }

    // #V5: the date and the time to the second as the locale writes them,
    // without the time zone (units in French, the zone first in Chinese).
    void dateAndTime()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(14, 0, 7));
        QCOMPARE(statuspage::dateTime(when, QLocale("en_US")), "12/6/26 2:00:07 PM");
        QCOMPARE(statuspage::dateTime(when, QLocale("fr_CA")), "2026-12-06 14 h 00 min 07 s");
        QCOMPARE(statuspage::dateTime(when, QLocale("zh_CN")), "2026/12/6 14:00:07");
    }
};

QTEST_GUILESS_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
