#include "core/text.h"
#include "web/countrytable.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace kestrel;

namespace {

QByteArray tabLine(qint64 lower, qint64 upper, const QByteArray &name)
{
    return '"' + QByteArray::number(lower) + '\t' + QByteArray::number(upper) + "\tXX\tXXX\t" +
           name + '"';
}

QByteArray commaLine(qint64 lower, qint64 upper, const QByteArray &name)
{
    return '"' + QByteArray::number(lower) + "\",\"" + QByteArray::number(upper) +
           "\",\"XX\",\"XXX\",\"" + name + '"';
}

QString dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255);
}

bool write(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return false;
    // Written out first: a later flush would set the time again.
    return f.flush() &&
           (!modified.isValid() || f.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class TestCountryTable : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString table(const QByteArray &bytes)
    {
        const QString path = dir_.filePath(QStringLiteral("IP2.csv"));
        if (!write(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void readsBothLineFormsWithBoundsInclusive()
    {
        const QByteArray bytes = tabLine(16777216, 16777471, "AUSTRALIA") + "\r\n" +
                                 commaLine(16777472, 16778239, "CHINA") + "\n" +
                                 tabLine(3221225984, 4294967295, "SOMEWHERE") + "\r\n";
        CountryTable t(table(bytes));
        QCOMPARE(t.ranges(), 3);
        QCOMPARE(t.lookup("1.0.0.0"), QStringLiteral("AUSTRALIA"));
        QCOMPARE(t.lookup("1.0.0.255"), QStringLiteral("AUSTRALIA"));
        QCOMPARE(t.lookup("1.0.1.0"), QStringLiteral("CHINA"));
        QCOMPARE(t.lookup("1.0.3.255"), QStringLiteral("CHINA"));
        QCOMPARE(t.lookup("0.255.255.255"), QStringLiteral("???"));
        QCOMPARE(t.lookup("1.0.4.0"), QStringLiteral("???"));
        QCOMPARE(t.lookup("255.255.255.255"), QStringLiteral("SOMEWHERE"));
        QCOMPARE(t.lookupNumber(16777471), QStringLiteral("AUSTRALIA"));
        QCOMPARE(t.lookupNumber(0), QStringLiteral("???"));

        // Numbers read leniently, in bounds and address parts alike.
        CountryTable lenient(table("\" 100\t200 xx\tA\tB\tX\"\n"));
        QCOMPARE(lenient.lookup("0.0.0.200"), QStringLiteral("X"));
        QCOMPARE(lenient.lookup(" 0.0. 0 .150th"), QStringLiteral("X"));
        QCOMPARE(lenient.lookup("0.0.0.99"), QStringLiteral("???"));
        // Past the third dot is one part: 0.0.0.200.5 is 200.5.
        QCOMPARE(lenient.lookup("0.0.0.200.5"), QStringLiteral("???"));
    }

    void fieldsAreCountedExactly()
    {
        // The name is the rest less its last character, separators and all; a
        // line with a TAB is of the TAB form even when it holds ",".
        CountryTable rest(table("\"1\t9\ta\tb\tFAR\tAWAY\"\n"
                                "\"10\",\"19\",\"a\",\"b\",\"X\",\"Y\"\n"
                                "\"20\t29\ta\tb\t\"\n"
                                "\"30\t39\ta\",\"b\tc\",\"d\tQ\"\n"));
        QCOMPARE(rest.lookupNumber(5), QStringLiteral("FAR\tAWAY"));
        QCOMPARE(rest.lookupNumber(15), QStringLiteral("X\",\"Y"));
        QCOMPARE(rest.lookupNumber(25), QString());
        QCOMPARE(rest.lookupNumber(35), QStringLiteral("Q"));
        QCOMPARE(rest.lookupNumber(40), QStringLiteral("???"));

        // Three TABs, four quoted fields, a blank line: each ends the table.
        for (const QByteArray &bad :
             {QByteArray("\"50\t59\ta\tb\""), QByteArray("\"50\",\"59\",\"a\",\"b\""),
              QByteArray(""), QByteArray("\"50 59 a b c\"")}) {
            const QByteArray bytes = tabLine(1, 9, "EARLY") + "\n" + bad + "\n" +
                                     tabLine(50, 59, "LATE") + "\n";
            CountryTable t(table(bytes));
            QCOMPARE(t.lookupNumber(5), QStringLiteral("EARLY"));
            QCOMPARE(t.lookupNumber(55), QString());
            QCOMPARE(t.lookupNumber(100), QString());
            QCOMPARE(t.ranges(), 1);
            QCOMPARE(CountryTable::scan(bytes, "0.0.0.55"), QString());
        }
    }

    void firstLineWins()
    {
        const QByteArray bytes = tabLine(100, 50, "REVERSED") + "\n" + tabLine(10, 100, "WIDE") +
                                 "\n" + tabLine(40, 60, "INNER") + "\n" +
                                 tabLine(0, 200, "WIDER") + "\n";
        CountryTable t(table(bytes));
        QCOMPARE(t.lookupNumber(75), QStringLiteral("WIDE"));
        QCOMPARE(t.lookupNumber(50), QStringLiteral("WIDE"));
        QCOMPARE(t.lookupNumber(9), QStringLiteral("WIDER"));
        QCOMPARE(t.lookupNumber(101), QStringLiteral("WIDER"));
        QCOMPARE(t.lookupNumber(201), QStringLiteral("???"));
    }

    void noAnswerWithoutAddressOrFile()
    {
        CountryTable t(table(tabLine(0, 4294967295, "ALL") + "\n"));
        for (const char *bad : {"1.2.3", "::1", "abc", "", "1,2,3,4"})
            QCOMPARE(t.lookup(bad), QString());
        QCOMPARE(t.lookup("..."), QStringLiteral("ALL"));

        CountryTable missing(dir_.filePath(QStringLiteral("none.csv")));
        QCOMPARE(missing.lookup("1.2.3.4"), QString());
        QCOMPARE(missing.lookupNumber(1), QString());
        QCOMPARE(CountryTable::scan({}, "1.2.3.4"), QStringLiteral("???"));
    }

    // The segments against the line-by-line reading, on random tables with
    // overlaps, reversed and fractional bounds, both forms, both line ends
    // and now and then a line that ends the table.
    void indexEqualsScan()
    {
        QRandomGenerator rng(20240611);
        const QString path = dir_.filePath(QStringLiteral("random.csv"));
        const QList<QByteArray> names = {"A", "B", "C", "", "???", "LONG NAME"};
        for (int round = 0; round < 400; ++round) {
            // Small spans make overlaps; some tables use the whole address line.
            const qint64 span = round % 4 == 0 ? 4294967296LL : 300;
            const qint64 base = round % 4 == 1 ? 4294967296LL - 300 : 0;
            const auto bound = [&]() -> QByteArray {
                const qint64 v = base + static_cast<qint64>(rng.bounded(static_cast<double>(span)));
                switch (rng.bounded(20)) {
                case 0: return QByteArray::number(v) + ".5";
                case 1: return "-" + QByteArray::number(v);
                case 2: return " " + QByteArray::number(v) + "x";
                default: return QByteArray::number(v);
                }
            };
            QByteArray bytes;
            QList<QByteArray> bounds;
            const int lines = static_cast<int>(rng.bounded(40));
            for (int i = 0; i < lines; ++i) {
                QByteArray lower = bound(), upper = bound();
                if (rng.bounded(3) > 0 && lower.toDouble() > upper.toDouble())
                    std::swap(lower, upper);
                bounds << lower << upper;
                const QByteArray name = names[rng.bounded(names.size())];
                if (rng.bounded(60) == 0)
                    bytes += "\"" + lower + "\t" + upper + "\tXX\"";
                else if (rng.bounded(2) == 0)
                    bytes += "\"" + lower + "\t" + upper + "\tXX\tXXX\t" + name + "\"";
                else
                    bytes += "\"" + lower + "\",\"" + upper + "\",\"XX\",\"XXX\",\"" + name + "\"";
                if (i + 1 < lines || rng.bounded(2) == 0)
                    bytes += rng.bounded(2) == 0 ? "\r\n" : "\n";
            }
            QVERIFY(write(path, bytes));
            CountryTable t(path);

            QList<QString> addresses = {"0.0.0.0", "255.255.255.255", "0.0.1.300.5"};
            for (const QByteArray &b : bounds) {
                const double v = std::floor(text::numericValue(QString::fromLatin1(b)));
                for (double d = -1; d <= 1; ++d)
                    if (v + d >= 0 && v + d <= 4294967295.0)
                        addresses << dotted(static_cast<quint32>(v + d));
                addresses << QStringLiteral("0.0.0.%1").arg(QString::fromLatin1(b.trimmed()));
            }
            for (int i = 0; i < 20; ++i)
                addresses << dotted(static_cast<quint32>(base + rng.bounded(static_cast<double>(span))));
            for (const QString &a : std::as_const(addresses)) {
                const QString expected = CountryTable::scan(bytes, a);
                if (t.lookup(a) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1 gives \"%2\", not \"%3\", in\n%4")
                                         .arg(a, t.lookup(a), expected,
                                              QString::fromLatin1(bytes))));
            }
            QCOMPARE(t.lookupNumber(0), CountryTable::scan(bytes, "0.0.0.0"));
        }
    }

    void reloadsWhenTheFileChanges()
    {
        const QString path = dir_.filePath(QStringLiteral("IP2.csv"));
        const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
        QVERIFY(write(path, tabLine(0, 99, "OLD") + "\n", then));
        CountryTable t(path);
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("OLD"));

        // Same size, a later time.
        QVERIFY(write(path, tabLine(0, 99, "NEW") + "\n", then.addSecs(1)));
        QCOMPARE(t.lookupNumber(5), QStringLiteral("OLD"));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("NEW"));

        // Another size, the same time.
        QVERIFY(write(path, tabLine(0, 99, "LONGER") + "\n", then.addSecs(1)));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("LONGER"));

        QVERIFY(QFile::remove(path));
        QCOMPARE(t.lookup("0.0.0.5"), QString());
        QVERIFY(write(path, tabLine(0, 99, "BACK") + "\n", then));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("BACK"));
    }
};

QTEST_GUILESS_MAIN(TestCountryTable)
#include "tst_countrytable.moc"
