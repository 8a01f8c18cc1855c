#include "core/text.h"

#include <QTest>

using namespace kestrel;

class TestText : public QObject
{
    Q_OBJECT
private slots:
    void linesAndSlices()
    {
        QCOMPARE(text::splitLines("a\r\n\r\nb\rc\n\nd\n"),
                 QStringList({"a", "", "b", "c", "", "d"}));
        // Positions count from 1.
        QCOMPARE(text::mid("ABCDEF", 2, 3), QStringLiteral("BCD"));
        QCOMPARE(text::mid("ABC", 5, 2), QString());
        QCOMPARE(text::instr("Fm N1ABC To", "To"), 10);
        QCOMPARE(text::instr("abc", "x"), 0);
    }

    void numbers()
    {
        // The leading number, read leniently, and the nearest whole one, halves to even.
        const QList<std::tuple<QString, double, long long>> cases = {
            {" 600", 600, 600}, {"2.5h", 2.5, 2},  {"3.5", 3.5, 4},
            {"-0.5", -0.5, 0},  {"1.2.3", 1.2, 1}, {"All", 0, 0}};
        for (const auto &[text, value, whole] : cases) {
            QCOMPARE(text::numericValue(text), value);
            QCOMPARE(text::roundHalfEven(value), whole);
        }
        QCOMPARE(text::numericValue("1" + QString(300, u'0')), 1e300);
        QCOMPARE(text::roundHalfEven(1e300), 9'200'000'000'000'000'000LL);
    }

    void stamps()
    {
        const QDateTime t(QDate(2026, 12, 6), QTime(9, 5, 7));
        QCOMPARE(text::stamp(t), QStringLiteral("06-12-26 09:05:07"));
        QCOMPARE(text::parseStamp(QStringLiteral("06-12-26 09:05:07")), t);
        // A leap day of a year whose 19xx twin had none.
        QCOMPARE(text::parseStamp(QStringLiteral("29-02-00 12:00:00")),
                 QDateTime(QDate(2000, 2, 29), QTime(12, 0)));
        for (const char *bad : {"32-12-26 09:05:07", "garbage", "06-12-26 9:05:07 "})
            QVERIFY2(!text::parseStamp(QString::fromLatin1(bad)).isValid(), bad);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
