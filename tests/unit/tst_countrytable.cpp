// The visitor's country from the IP range table, as loaded and as read line
// by line, and the table read again when its file changes.

#include "web/countrytable.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrel;

namespace {

QByteArray line(const QByteArray &lower, const QByteArray &upper, const QByteArray &name)
{
    return '"' + lower + '\t' + upper + "\tXX\tXXX\t" + name + "\"\r\n";
}

// Flushed before the time is set: a later flush would set it again.
bool write(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush() &&
           (!modified.isValid() || f.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class TestCountryTable : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    const QString path_ = dir_.filePath(QStringLiteral("IP2.csv"));

private slots:
    void lookup_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("country");
        const auto row = [](const char *name, const QByteArray &table, const QString &address,
                            const QString &country) {
            QTest::newRow(name) << table << address << country;
        };
        // CR LF, LF and CR line ends; the comma form; bounds read leniently.
        const QByteArray world = line("16777216", "16777471", "AUSTRALIA") +
                                 "\"16777472\",\"16778239\",\"CN\",\"CHN\",\"CHINA\"\n" +
                                 line(" 3221225984", "4294967295x", "SOMEWHERE").chopped(1);
        row("upper bound", world, "1.0.0.255", "AUSTRALIA");
        row("comma form", world, "1.0.1.0", "CHINA");
        row("odd bounds", world, "255.255.255.255", "SOMEWHERE");
        row("in no range", world, "1.0.4.0", "???");
        row("IPv6", world, "::1", "");
        row("fractional bound", line("10.5", "20", "HALF"), "0.0.0.10.5", "HALF");
        row("below a fractional bound", line("10.5", "20", "HALF"), "0.0.0.10", "???");
        row("long bound", line("00000000000000001", "9", "LONG"), "0.0.0.0", "???");
        const QByteArray overlap = line("0", "60", "ONE") + line("50", "99", "TWO");
        row("the first line of two", overlap, "0.0.0.55", "ONE");
        row("the second line past the first", overlap, "0.0.0.61", "TWO");
        row("a reversed range holds nothing", line("99", "0", "R") + line("0", "99", "OK"),
            "0.0.0.5", "OK");
        // The name: the rest of the line less its last character.
        row("name keeps TABs", "\"1\t9\ta\tb\tFAR\tAWAY\"", "0.0.0.5", "FAR\tAWAY");
        row("a TAB makes the TAB form", "\"1\t9\ta\",\"b\tc\",\"d\tQ\"", "0.0.0.5", "Q");
        // A line of neither form ends the table for what no line before holds.
        const QByteArray late = line("50", "59", "LATE");
        row("ended by a blank line", line("1", "9", "EARLY") + "\n" + late, "0.0.0.55", "");
        row("ended by three TABs", "\"50\t59\ta\tb\"\n" + late, "0.0.0.55", "");
    }

    void lookup()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, address);
        QVERIFY(write(path_, table));
        QTEST(CountryTable(path_).lookup(address), "country");
        QTEST(CountryTable::scan(table, address), "country");
    }

    // Same size at a later time; another size at the same time; gone.
    void readAgainWhenTheFileChanges()
    {
        const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
        CountryTable t(path_);
        const QList<std::pair<const char *, QDateTime>> steps = {
            {"OLD", then}, {"NEW", then.addSecs(1)}, {"LONGER", then.addSecs(1)}, {"", {}}};
        for (const auto &[name, time] : steps) {
            QVERIFY(*name ? write(path_, line("0", "99", name), time) : QFile::remove(path_));
            QCOMPARE(t.lookup("0.0.0.5"), QString(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestCountryTable)
#include "tst_countrytable.moc"
