// Fuzz target for the kestrel.ini reader and writer: any bytes read into
// fresh settings leave every field as the reader may store it, and the file
// written for the result reads back to the same settings, without a
// problem other than the unusable values read as they stood, and writes the
// very same bytes again.

#include "core/settings.h"
#include "core/settingsfile.h"
#include "fuzzcheck.h"

#include <cstdint>

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    Settings read;
    QList<Settings::Field> unusable;
    for (const settingsfile::Problem &p : settingsfile::read(input, read)) {
        if (p.kind == settingsfile::Problem::OutOfRange)
            unusable.append(p.field);
        if (p.describe().isEmpty())
            fail("a problem without words", input);
        if (p.kind == settingsfile::Problem::NotACheckValue &&
            Settings::info(p.field).kind != Settings::Kind::Check)
            fail("a check problem for a field that is no check", input);
    }
    for (int i = 0; i < Settings::FieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        const Settings::Info &info = Settings::info(f);
        const QString v = read.text(f);
        if (info.kind == Settings::Kind::Check && v != QLatin1String("0") &&
            v != QLatin1String("1"))
            fail("a check field holds neither 0 nor 1", input);
        if (info.kind == Settings::Kind::Identity ? !v.isEmpty() : v.size() > info.maxLength)
            fail("a field holds more than the reader may store", input);
        if (v.contains(u'\r') || v.contains(u'\n'))
            fail("a field holds a line end", input);
    }
    for (const QString &row : read.digiList())
        if (row.size() > 50 || row.contains(u'\r') || row.contains(u'\n'))
            fail("a digipeater row the reader may not store", input);

    const QByteArray written = settingsfile::write(read);
    Settings again;
    for (const settingsfile::Problem &p : settingsfile::read(written, again))
        if (p.kind != settingsfile::Problem::OutOfRange || !unusable.contains(p.field))
            fail("the written file reads back with a new problem", input);
    for (int i = 0; i < Settings::OwnCall; ++i)
        if (again.text(Settings::Field(i)) != read.text(Settings::Field(i)))
            fail("a field changed on its way through the file", input);
    if (again.digiList() != read.digiList())
        fail("the digipeater list changed on its way through the file", input);
    if (settingsfile::write(again) != written)
        fail("writing again gives other bytes", input);
    return 0;
}
