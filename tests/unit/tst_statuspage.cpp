// The status page's parts as pure functions: the template filled from the
// station's values, the tables of its lists, the date and time.

#include "web/statuspage.h"

#include <QTest>

using namespace kestrel;

class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    // Each Latin-1 line's first "#V" tag filled wherever it stands, the lines
    // joined; the operator's texts as written, what came from outside escaped.
    void fillTemplate()
    {
        statuspage::Values v{
            "N1IGT-10",    "2",         "<b>Hi</b>",     "!4903.50N/07201.75W-Test",
            "06/12 14:00", "TO: <T>",   "N1ABC-7 <s>x&", "251\u00b0 \"R\"",
            QString(),     "192.0.2.7", QString(),       QString(),
            QString()};
        QCOMPARE(statuspage::fillTemplate("#VM\r\n|#V3\r\n|#V4\r\n|#V5\r\n|#V9/\r\n#V0\r\n"
                                          "|#V2\r\n|#V6\r\n|#V8\r\n|[#V7]\r\n[#VI]\r\n"
                                          "|#V1 #V1 #V3\r\n|#VX #V1\r\nx#V\r\n|a\rb\nc90\xb0",
                                          v),
                 "\"N1IGT-10\"|2|<b>Hi</b>|06/12 14:00|4903.50N/07201.75W|TO: &lt;T&gt;|N1ABC-7 "
                 "&lt;s&gt;x&amp; 251\u00b0 &quot;R&quot;|192.0.2.7|[][]|N1IGT-10 N1IGT-10 #V3|"
                 "#VX #V1x#V|abc90\u00b0");
        v.issLine = "Az:1<2";
        QCOMPARE(statuspage::fillTemplate("[#VI]", v), "[ISS >>> Az:1&lt;2]");
        const QString table = "<table border=\"1\"><tr><th>Next passes</th></tr>";
        QCOMPARE(statuspage::fillTemplate("[#VP]", v),
                 "[" + table + "<tr><td>none known</td></tr></table>]");
        v.passes = "ISS 1<2\nSO-50 3";
        v.lastPass = "AO-91 &";
        QCOMPARE(statuspage::fillTemplate("[#VP]", v),
                 "[" + table +
                     "<tr><td>ISS 1&lt;2</td></tr><tr><td>SO-50 3</td></tr><tr><th>Last "
                     "pass</th></tr><tr><td>AO-91 &amp;</td></tr></table>]");
    }

    // The stations heard, linked to the look-up service, then the last twenty
    // rows of the gated frames; what came from the air is text.
    void tables()
    {
        QStringList gated{"f1"};
        for (int i = 2; i <= 20; ++i)
            gated << QString("f%1").arg(i);
        const QString frames = "<p>" + gated.mid(1).join("</p><p>") + "</p>";
        QCOMPARE(statuspage::tables({"N3<X>&\"   06-12-26 14:00:01 <img src=x>"},
                                    gated << "N4>:<b>&\u00e9", "www.findu.com"),
                 "<div align=\"center\"><center><table border=\"1\"><tr><th>Station</th><th>Last "
                 "Heard</th><th>Path</th></tr><tr><th><H2><a href=\"http://www.findu.com/cgi-bin/"
                 "find.cgi?N3%3CX%3E%26%22\">N3&lt;X&gt;&amp;&quot;</a></H2></th><th>06-12-26 "
                 "14:00:01</th><th>&lt;img src=x&gt;</th></tr></table></center></div><p>Gated "
                 "Frames:</p>" +
                     frames + "<p>N4&gt;:&lt;b&gt;&amp;\u00e9</p>");
    }

    // #V5: the date and the time to the second as the locale writes them,
    // without the time zone (after, in brackets, or first).
    void dateAndTime()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(14, 0, 7));
        QCOMPARE(statuspage::dateTime(when, QLocale("en_US")), "12/6/26 2:00:07 PM");
        QCOMPARE(statuspage::dateTime(when, QLocale("es_ES")), "6/12/26 14:00:07");
        QCOMPARE(statuspage::dateTime(when, QLocale("zh_CN")), "2026/12/6 14:00:07");
    }
};

QTEST_GUILESS_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
