// The position decoder against the answers of an independent one, direwolf's
// decode_aprs, recorded for packets of every position format in
// tests/data/crosscheck (bench/crosscheck.sh --record writes them anew).

#include "aprs/decoder.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

static QStringList lines(const QString &name)
{
    QFile f(qEnvironmentVariable("KESTREL_SOURCE") + "/tests/data/crosscheck/" + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).split(u'\n')
                                       : QStringList();
}

static double degrees(const QString &hemisphere, const QString &deg, const QString &min)
{
    const double v = deg.toDouble() + min.toDouble() / 60;
    return hemisphere == u'S' || hemisphere == u'W' ? -v : v;
}

class TestCrossCheck : public QObject
{
    Q_OBJECT
    QStringList packets, answers;

private slots:
    void initTestCase()
    {
        packets = lines("packets.txt");
        answers = lines("decode_aprs.txt");
        QCOMPARE(packets.size(), 56); // 55 packets and the empty text after the last line end
        QCOMPARE(answers.size(), packets.size());
    }

    void agreesWithRecordedAnswers_data()
    {
        QTest::addColumn<QString>("packet");
        QTest::addColumn<QString>("answer");
        for (qsizetype i = 0; i + 1 < packets.size(); ++i)
            QTest::newRow(qPrintable(packets[i])) << packets[i] << answers[i];
    }
    void agreesWithRecordedAnswers()
    {
        QFETCH(QString, packet);
        QFETCH(QString, answer);
        static const QRegularExpression theirs(
            QStringLiteral("^([NS]) (\\d+) (\\d+\\.\\d+), ([EW]) (\\d+) (\\d+\\.\\d+)$"));
        const auto m = theirs.match(answer);
        QVERIFY2(m.hasMatch(), qPrintable(answer));
        const auto r = kestrel::decoder::decode(packet, {}, false);
        QVERIFY(r.accepted());
        // A hundredth of a minute: this decoder truncates where that one rounds.
        const QString ours[] = {r.position.latitude, r.position.longitude};
        for (int i = 0; i < 2; ++i) {
            const QString &o = ours[i];
            const double diff =
                degrees(o.right(1), o.left(2 + i), o.mid(2 + i, 5)) -
                degrees(m.captured(3 * i + 1), m.captured(3 * i + 2), m.captured(3 * i + 3));
            QVERIFY2(std::fabs(diff) <= 0.0101 / 60, qPrintable(o + " against " + answer));
        }
    }
};

QTEST_GUILESS_MAIN(TestCrossCheck)
#include "tst_crosscheck.moc"
