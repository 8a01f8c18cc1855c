// Figures for the visitor country table: a 200000-range table file read into
// segments, the look-up on them (by number, and by address text with the
// per-call file check), and the line-by-line reading for comparison. Prints
// figures; judges nothing.

#include "summary.h"
#include "web/countrytable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kestrel;

int main(int argc, char *argv[])
{
    if (benchHelp(argc, argv,
                  "usage: bench_country\nLook-ups in a country table of 200,000 ranges.\n"))
        return 0;
    const int rangeCount = 200000;
    QRandomGenerator rng(7);

    // Ranges in address order with gaps now and then, 250 countries, as the
    // published tables are; a few overlaps later in the file.
    QByteArray table;
    table.reserve(rangeCount * 48);
    qint64 at = 16777216;
    const qint64 step = (4294967295LL - at) / rangeCount;
    for (int i = 0; i < rangeCount; ++i) {
        const qint64 lower = at + (rng.bounded(8) == 0 ? rng.bounded(step / 2) : 0);
        const qint64 upper = at + step - 1;
        const QByteArray country = "COUNTRY " + QByteArray::number(rng.bounded(250));
        table += '"' + QByteArray::number(lower) + '\t' + QByteArray::number(upper) +
                 "\tXX\tXXX\t" + country + "\"\r\n";
        at += step;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("IP2.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(table) != table.size()) {
        std::fprintf(stderr, "bench_country: cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();

    QElapsedTimer t;
    t.start();
    CountryTable countries(path);
    const double loadMs = t.nsecsElapsed() / 1e6;
    // Later loads (a changed file) find the memory and the file warm.
    std::vector<double> reloadMs;
    for (int i = 0; i < 5; ++i) {
        t.start();
        const CountryTable again(path);
        reloadMs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(reloadMs.begin(), reloadMs.end());

    const int lookups = 2000000;
    std::vector<quint32> numbers(lookups);
    for (quint32 &n : numbers)
        n = rng.generate();
    qsizetype chars = 0;
    t.start();
    for (const quint32 n : numbers)
        chars += countries.lookupNumber(n).size();
    const double numberNs = static_cast<double>(t.nsecsElapsed()) / lookups;

    const int textLookups = 200000;
    QStringList texts;
    for (int i = 0; i < textLookups; ++i)
        texts << QHostAddress(numbers[static_cast<std::size_t>(i)]).toString();
    t.start();
    for (const QString &a : std::as_const(texts))
        chars += countries.lookup(a).size();
    const double textNs = static_cast<double>(t.nsecsElapsed()) / textLookups;

    const int scans = 40;
    int agree = 0;
    t.start();
    for (int i = 0; i < scans; ++i)
        agree += CountryTable::scan(table, texts[i]) == countries.lookupNumber(numbers[i]) ? 1 : 0;
    const double scanMs = static_cast<double>(t.nsecsElapsed()) / 1e6 / scans;

    std::printf("Kestrel visitor country table (%d ranges, %.1f MB file)\n", rangeCount,
                table.size() / 1e6);
    std::printf("  first load                      %9.1f ms (%lld ranges)\n", loadMs,
                static_cast<long long>(countries.ranges()));
    std::printf("  later loads, median of 5        %9.1f ms\n", reloadMs[2]);
    std::printf("  look-up by number               %9.1f ns (%d look-ups)\n", numberNs, lookups);
    std::printf("  look-up by address text         %9.1f ns (%d look-ups, file check included)\n",
                textNs, textLookups);
    std::printf("  line-by-line reading            %9.1f ms (%d look-ups; agrees on %d)\n", scanMs,
                scans, agree);
    benchSummary("country table", "first load, 200000 ranges",
                 QString::asprintf("%.1f ms", loadMs));
    benchSummary("country table", "look-up by number", QString::asprintf("%.1f ns", numberNs),
                 "< 1 us");
    benchSummary("country table", "  by address text, file check included",
                 QString::asprintf("%.1f ns", textNs), "a stat() more");
    return chars > 0 ? 0 : 1;
}
