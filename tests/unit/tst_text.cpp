#include "core/programfolder.h"
#include "core/text.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrel;

class TestText : public QObject
{
    Q_OBJECT
private slots:
    void splitLinesAcceptsEveryLineEnd()
    {
        QCOMPARE(text::splitLines("a\r\nb\rc\nd"), QStringList({"a", "b", "c", "d"}));
        QCOMPARE(text::splitLines("a\r\n\r\nb\r\n"), QStringList({"a", "", "b"}));
        QCOMPARE(text::splitLines("\n"), QStringList({""}));
        QVERIFY(text::splitLines("").isEmpty());
        // A lone CR before LF-ended lines is a line end of its own.
        QCOMPARE(text::splitLines("a\r\rb"), QStringList({"a", "", "b"}));
    }

    void numericValueIsLenient()
    {
        QCOMPARE(text::numericValue(" 600"), 600.0);
        QCOMPARE(text::numericValue("2.5h"), 2.5);
        QCOMPARE(text::numericValue("-10"), -10.0);
        QCOMPARE(text::numericValue("All"), 0.0);
        QCOMPARE(text::numericValue(""), 0.0);
        QCOMPARE(text::numericValue("1.2.3"), 1.2);
    }

    void roundingHalvesToEven()
    {
        QCOMPARE(text::roundHalfEven(2.5), 2LL);
        QCOMPARE(text::roundHalfEven(3.5), 4LL);
        QCOMPARE(text::roundHalfEven(-0.5), 0LL);
        QCOMPARE(text::roundHalfEven(595.5), 596LL);
        QCOMPARE(text::roundHalfEven(1e300), 9'200'000'000'000'000'000LL);
    }

    void stampRoundTrip()
    {
        const QDateTime t(QDate(2026, 12, 6), QTime(9, 5, 7));
        QCOMPARE(text::stamp(t), QStringLiteral("06-12-26 09:05:07"));
        QCOMPARE(text::parseStamp(QStringLiteral("06-12-26 09:05:07")), t);
        QVERIFY(!text::parseStamp(QStringLiteral("32-12-26 09:05:07")).isValid());
        QVERIFY(!text::parseStamp(QStringLiteral("garbage")).isValid());
        // A leap day of a year whose 19xx twin had none.
        QCOMPARE(text::parseStamp(QStringLiteral("29-02-00 12:00:00")),
                 QDateTime(QDate(2000, 2, 29), QTime(12, 0)));
        QVERIFY(!text::parseStamp(QStringLiteral("06-12-26 9:05:07 ")).isValid());
    }

    void oneBasedSlicing()
    {
        QCOMPARE(text::mid("ABCDEF", 2, 3), QStringLiteral("BCD"));
        QCOMPARE(text::mid("ABC", 3, 10), QStringLiteral("C"));
        QCOMPARE(text::mid("ABC", 5, 2), QString());
        QCOMPARE(text::instr("Fm N1ABC To", "To"), 10);
        QCOMPARE(text::instr("abc", "x"), 0);
    }

    void namesMatchCaseInsensitively()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("web");
        QFile f(dir.path() + "/web/SERVER.htm");
        QVERIFY(f.open(QIODevice::WriteOnly));
        ProgramFolder folder(dir.path());
        QCOMPARE(folder.resolve("\\Web\\server.htm"), QDir::toNativeSeparators(f.fileName()));
        // Parts that do not exist keep the spelling given.
        QCOMPARE(folder.resolve("\\Logs_Kestrel\\igated.txt"),
                 QDir::toNativeSeparators(dir.path() + "/Logs_Kestrel/igated.txt"));
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
