// Fuzz target for the visitor country table: the input's first line is a
// visitor address, the rest a table file. The table read into segments must
// answer as the line-by-line reading of the same bytes does.

#include "fuzzcheck.h"
#include "web/countrytable.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

using namespace kestrel;

namespace {
QString dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 255)
        .arg((a >> 8) & 255)
        .arg(a & 255);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("IP2.csv"));

    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype lf = input.indexOf('\n');
    const QString address = QString::fromLatin1(lf < 0 ? input : input.first(lf));
    const QByteArray table = lf < 0 ? QByteArray() : input.sliced(lf + 1);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(table) != table.size())
        fail("cannot write the table file", input);
    file.close();

    // A new table each time: a rewrite within the same millisecond at the same
    // size would not be seen as a change.
    CountryTable countries(path);
    if (countries.lookup(address) != CountryTable::scan(table, address))
        fail("the address's country differs from the line-by-line reading", input);

    quint32 some = 0;
    for (qsizetype i = 0; i < 4 && i < table.size(); ++i)
        some = some << 8 | static_cast<uchar>(table[i]);
    for (const quint32 n : {0u, 0xffffffffu, some, some + 1, some - 1})
        if (countries.lookupNumber(n) != CountryTable::scan(table, dotted(n)))
            fail("an address number's country differs from the line-by-line reading", input);
    return 0;
}
