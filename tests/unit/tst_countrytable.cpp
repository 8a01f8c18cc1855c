#include "core/text.h"
#include "web/countrytable.h"

#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace kestrel;

namespace {

QByteArray line(const QByteArray &lower, const QByteArray &upper, const QByteArray &name,
                bool comma = false)
{
    const QByteArray sep = comma ? "\",\"" : "\t";
    return '"' + lower + sep + upper + sep + "XX" + sep + "XXX" + sep + name + '"';
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
    QTemporaryDir dir_;
    const QString path_ = dir_.filePath(QStringLiteral("IP2.csv"));

private slots:
    void answers()
    {
        QVERIFY(write(path_, line("16777216", "16777471", "AUSTRALIA") + "\r\n" +
                                 line("16777472", "16778239", "CHINA", true) + "\n" +
                                 line(" 3221225984", "4294967295x", "SOMEWHERE") + "\r\n"));
        CountryTable t(path_);
        QCOMPARE(t.ranges(), 3);
        QCOMPARE(t.lookup("1.0.0.0"), QStringLiteral("AUSTRALIA"));
        QCOMPARE(t.lookup("1.0.0.255"), QStringLiteral("AUSTRALIA"));
        QCOMPARE(t.lookup("1.0.1.0"), QStringLiteral("CHINA"));
        QCOMPARE(t.lookup(" 1.0. 3 .255th"), QStringLiteral("CHINA"));
        QCOMPARE(t.lookup("0.255.255.255"), QStringLiteral("???"));
        QCOMPARE(t.lookup("1.0.4.0"), QStringLiteral("???"));
        QCOMPARE(t.lookupNumber(4294967295), QStringLiteral("SOMEWHERE"));
        // Past the third dot is one part: 1.0.0.255.5 is beyond 1.0.0.255.
        QCOMPARE(t.lookup("1.0.0.255.5"), QStringLiteral("???"));
        for (const char *bad : {"1.2.3", "::1", "abc", ""})
            QCOMPARE(t.lookup(bad), QString());

        CountryTable missing(dir_.filePath(QStringLiteral("none.csv")));
        QCOMPARE(missing.lookup("1.0.0.0"), QString());
        QCOMPARE(missing.lookupNumber(16777216), QString());
    }

    void fieldsAndTheEndOfTheTable()
    {
        // The name is the rest less its last character, separators and all; a
        // line with a TAB is of the TAB form even when it holds ",".
        QVERIFY(write(path_, "\"1\t9\ta\tb\tFAR\tAWAY\"\n"
                             "\"10\",\"19\",\"a\",\"b\",\"X\",\"Y\"\n"
                             "\"20\t29\ta\tb\t\"\n"
                             "\"30\t39\ta\",\"b\tc\",\"d\tQ\"\n"));
        CountryTable rest(path_);
        QCOMPARE(rest.lookupNumber(5), QStringLiteral("FAR\tAWAY"));
        QCOMPARE(rest.lookupNumber(15), QStringLiteral("X\",\"Y"));
        QCOMPARE(rest.lookupNumber(25), QString());
        QCOMPARE(rest.lookupNumber(35), QStringLiteral("Q"));

        // Three TABs, four quoted fields, a blank line, no separator: each ends
        // the table for addresses no line before it holds.
        for (const QByteArray &bad :
             {QByteArray("\"50\t59\ta\tb\""), QByteArray("\"50\",\"59\",\"a\",\"b\""),
              QByteArray(""), QByteArray("\"50 59 a b c\"")}) {
            const QByteArray bytes =
                line("1", "9", "EARLY") + "\n" + bad + "\n" + line("50", "59", "LATE") + "\n";
            QVERIFY(write(path_, bytes));
            CountryTable t(path_);
            QCOMPARE(t.lookupNumber(5), QStringLiteral("EARLY"));
            QCOMPARE(t.lookupNumber(55), QString());
            QCOMPARE(t.lookupNumber(100), QString());
            QCOMPARE(CountryTable::scan(bytes, "0.0.0.55"), QString());
        }
    }

    // The segments against the line-by-line reading, on random tables with
    // overlaps, reversed, fractional and long bounds, both forms, every line
    // end and now and then a line that ends the table.
    void indexEqualsScan()
    {
        QRandomGenerator rng(20240611);
        const QList<QByteArray> names = {"A", "B", "C", "", "???", "C\xD4TE D'IVOIRE"};
        const QList<QByteArray> ends = {"\r\n", "\n", "\r\n", "\n", "\r"};
        const auto value = [](const QByteArray &b) {
            return text::numericValue(QString::fromLatin1(b));
        };
        for (int round = 0; round < 300; ++round) {
            // Small spans make overlaps; some tables use the whole address line.
            const double span = round % 4 == 0 ? 4294967296.0 : 300;
            const qint64 base = round % 4 == 1 ? 4294967296LL - 300 : 0;
            const auto bound = [&]() -> QByteArray {
                const QByteArray v = QByteArray::number(base + qint64(rng.bounded(span)));
                const QList<QByteArray> forms = {
                    v + ".5",           "-" + v, " " + v + "x", "+" + v, "0000000000000000" + v,
                    v + "0000000000000"};
                const int form = static_cast<int>(rng.bounded(20));
                return form < forms.size() ? forms[form] : v;
            };
            QByteArray bytes;
            QList<QByteArray> bounds;
            const int lines = static_cast<int>(rng.bounded(40));
            for (int i = 0; i < lines; ++i) {
                QByteArray lower = bound(), upper = bound();
                if (rng.bounded(3) > 0 && value(lower) > value(upper))
                    std::swap(lower, upper);
                bounds << lower << upper;
                bytes += rng.bounded(60) == 0 ? "\"" + lower + "\t" + upper + "\tXX\""
                                              : line(lower, upper, names[rng.bounded(names.size())],
                                                     rng.bounded(2) == 0);
                if (i + 1 < lines || rng.bounded(2) == 0)
                    bytes += ends[rng.bounded(ends.size())];
            }
            QVERIFY(write(path_, bytes));
            CountryTable t(path_);

            QList<QString> addresses = {"0.0.0.0", "255.255.255.255", "0.0.1.300.5"};
            for (const QByteArray &b : std::as_const(bounds)) {
                const double v = std::floor(value(b));
                for (const double at : {v - 1, v, v + 1})
                    if (at >= 0 && at <= 4294967295.0)
                        addresses << QHostAddress(static_cast<quint32>(at)).toString();
                addresses << "0.0.0." + QString::fromLatin1(b.trimmed());
            }
            for (int i = 0; i < 20; ++i)
                addresses << QHostAddress(static_cast<quint32>(base + qint64(rng.bounded(span))))
                                 .toString();
            for (const QString &a : std::as_const(addresses)) {
                const QString expected = CountryTable::scan(bytes, a);
                if (t.lookup(a) != expected)
                    QFAIL(
                        qPrintable(QStringLiteral("%1 gives \"%2\", not \"%3\", in\n%4")
                                       .arg(a, t.lookup(a), expected, QString::fromLatin1(bytes))));
            }
        }
    }

    void reloadsWhenTheFileChanges()
    {
        const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
        QVERIFY(write(path_, line("0", "99", "OLD") + "\n", then));
        CountryTable t(path_);
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("OLD"));

        // Same size, a later time; then another size at the same time.
        QVERIFY(write(path_, line("0", "99", "NEW") + "\n", then.addSecs(1)));
        QCOMPARE(t.lookupNumber(5), QStringLiteral("OLD"));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("NEW"));
        QVERIFY(write(path_, line("0", "99", "LONGER") + "\n", then.addSecs(1)));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("LONGER"));

        QVERIFY(QFile::remove(path_));
        QCOMPARE(t.lookup("0.0.0.5"), QString());
        QVERIFY(write(path_, line("0", "99", "BACK") + "\n", then));
        QCOMPARE(t.lookup("0.0.0.5"), QStringLiteral("BACK"));
    }
};

QTEST_GUILESS_MAIN(TestCountryTable)
#include "tst_countrytable.moc"
