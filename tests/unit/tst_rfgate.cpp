// The lists the RF pass keeps, on a gateway in-process: MHeard, the
// positions and the DX record, and their expiry. What is gated, and why
// not, is the APRS-IS test's gating table.

#include "support/fixtures.h"

using namespace kestrel;
using L = QStringList;

class TestRfGate : public QObject
{
    Q_OBJECT

private slots:
    void heardListsAndTheirExpiry()
    {
        InProcess in({"MHExpTime=2"});
        in.start();
        Gateway &g = in.gateway;
        const auto hear = [&](const QString &from, const QString &info, const QString &via = {}) {
            in.hostHears(sample::monitor(from, info, via));
            g.timer6Tick();
        };
        const auto text = [&](StateTexts::Text id) { return g.texts().text(id); };
        // Once heard direct, a station keeps its direct row until heard direct again.
        hear("N1ABC-7", ">direct");
        in.clock.advance(60);
        hear("N1ABC-7", ">repeated", "N1DIG*");
        hear("N2XYZ-9", ">hi", "N1DIG*,WIDE2-1");
        QCOMPARE(g.mheardList().at(0), "N1ABC-7   06-12-26 14:00:00 ");
        in.clock.advance(60);
        hear("N1ABC-7", ">direct again");
        QCOMPARE(g.mheardList().rows(),
                 L({"N1ABC-7   06-12-26 14:02:00 ", "N2XYZ-9   06-12-26 14:01:00 N1DIG*,WIDE2-1"}));

        // Two stations exactly as far: the later one takes the record over.
        hear("N1EAST", "!4903.50N/07101.75W-");
        hear("N2WEST", "!4903.50N/07301.75W-");
        QVERIFY(text(StateTexts::DxText).startsWith("N2WEST  "));
        QCOMPARE(g.positionsList().at(0).mid(10),
                 g.positionsList().at(1).mid(10).replace("270", "90"));
        // Heard again, a station keeps its place; its row is rewritten.
        hear("N1EAST", "!4903.50N/07201.70W-");
        QVERIFY(g.positionsList().at(0).startsWith("N1EAST    0.1km 90"));
        // The Mic-E line stays until a position of another kind.
        in.hostHears(" 1:Fm N1ABC-9 To S32U6T <UI pid=F0 Len=9 >[14:00:04]\\r`(_fn\"Oj/");
        g.timer6Tick();
        QVERIFY(!text(StateTexts::MicELine).isEmpty());
        hear("N1ABC-7", sample::kPosition);
        QVERIFY(text(StateTexts::MicELine).isEmpty());
        // Without a position of its own the station measures nothing; a
        // compressed position says so, unless it carries a time stamp.
        g.settings().setText(Settings::HostBeaconText, QString());
        const qsizetype listed = g.positionsList().size();
        hear("N3CMP", "/092345z/5L!!<*e7>7P[");
        QVERIFY(text(StateTexts::LastStation).startsWith("N1ABC-7 "));
        hear("N3CMP", "=/5L!!<*e7>7P[");
        QCOMPARE(text(StateTexts::LastStation), "Comprimida");
        QCOMPARE(g.positionsList().size(), listed);

        // Expiry, as MHExpTime=2 has it: at 14:02:00 N1ABC-7 is 119 minute
        // boundaries old, N2XYZ-9 120. The record is then ranked by the whole
        // figure, five digits and all.
        g.mheardList().setRows({"N1ABC-7   06-12-26 12:03:00 ", "N2XYZ-9   06-12-26 12:02:59 ",
                                "N3BAD     not a time"});
        const QString kept = QString::fromLatin1("N1ABC-7   1500.5km 90\xb0");
        const QString far = QString::fromLatin1("N4FAR     10123.6km 45\xb0");
        g.positionsList().setRows({QString::fromLatin1("N2XYZ-9   12.3km 45\xb0"), kept, far});
        g.timer7Tick();
        QCOMPARE(g.mheardList().rows(), L{"N1ABC-7   06-12-26 12:03:00 "});
        QCOMPARE(g.positionsList().rows(), L({kept, far}));
        QCOMPARE(errorLines(in.station),
                 L{"MHeard 1 row(s) dropped whose time heard cannot be read"});
        QCOMPARE(text(StateTexts::DxText), far);
    }
};

QTEST_GUILESS_MAIN(TestRfGate)
#include "tst_rfgate.moc"
