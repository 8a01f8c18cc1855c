// Fuzz target for the kestrel.ini reader and writer.
//
// Any bytes are read into fresh settings; then:
//  - every field holds what the reader may store: a check field "0" or "1",
//    a text no longer than its field takes and free of line ends;
//  - each reported problem names the line it came from;
//  - the file written for the result reads back, into fresh settings, to the
//    same field texts and the same digipeater rows, with no problem, and
//    writes the very same bytes again;
//  - reading the same bytes a second time into the same settings changes no
//    field and adds the digipeater rows once more.

#include "core/settings.h"
#include "core/settingsfile.h"
#include "core/text.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace kestrel;

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &input, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz_settingsfile: %s\n  input: %s\n", what,
                 input.toPercentEncoding().constData());
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toLatin1().toPercentEncoding(" :=,[]/").constData());
    std::abort();
}

// The fields kestrel.ini holds: all but the station identity.
bool inFile(Settings::Field f)
{
    return Settings::info(f).kind != Settings::Kind::Identity;
}

QString fieldDetail(Settings::Field f, const QString &got, const QString &expected)
{
    return Settings::keyName(f) + QStringLiteral(": got \"") + got +
           QStringLiteral("\", expected \"") + expected + QStringLiteral("\"");
}

void checkStored(const Settings &s, const QByteArray &input)
{
    for (int i = 0; i < Settings::FieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        const Settings::Info &info = Settings::info(f);
        const QString value = s.text(f);
        if (!inFile(f)) {
            if (!value.isEmpty())
                fail("reading the file set a station identity field", input,
                     fieldDetail(f, value, {}));
            continue;
        }
        if (info.kind == Settings::Kind::Check) {
            if (value != QLatin1String("0") && value != QLatin1String("1"))
                fail("a check field holds neither 0 nor 1", input, fieldDetail(f, value, {}));
            continue;
        }
        if (value.size() > info.maxLength)
            fail("a field holds more than it takes", input, fieldDetail(f, value, {}));
        if (value.contains(u'\r') || value.contains(u'\n'))
            fail("a field holds a line end", input, fieldDetail(f, value, {}));
    }
    for (const QString &row : s.digiList()) {
        if (row.size() > 50)
            fail("a digipeater row is longer than 50", input, row);
        if (row.contains(u'\r') || row.contains(u'\n'))
            fail("a digipeater row holds a line end", input, row);
    }
}

void checkProblems(const QList<settingsfile::Problem> &problems, const QByteArray &input)
{
    const QStringList lines = text::splitLines(input);
    for (const settingsfile::Problem &p : problems) {
        if (Settings::info(p.field).kind != Settings::Kind::Check)
            fail("a problem was reported for a field that is not a check", input,
                 Settings::keyName(p.field));
        if (p.lineNumber < 1 || p.lineNumber > lines.size())
            fail("a problem names a line the file does not have", input,
                 QStringLiteral("line %1 of %2").arg(p.lineNumber).arg(lines.size()));
        if (p.line != lines[p.lineNumber - 1].left(100))
            fail("a problem quotes another line than the one it names", input,
                 QStringLiteral("line %1 is \"%2\", quoted \"%3\"")
                     .arg(p.lineNumber)
                     .arg(lines[p.lineNumber - 1], p.line));
    }
}

void checkSameFields(const Settings &got, const Settings &expected, const char *what,
                     const QByteArray &input)
{
    for (int i = 0; i < Settings::FieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        if (inFile(f) && got.text(f) != expected.text(f))
            fail(what, input, fieldDetail(f, got.text(f), expected.text(f)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 1 << 16)
        return -1;
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    Settings first;
    const QList<settingsfile::Problem> problems = settingsfile::read(input, first);
    checkStored(first, input);
    checkProblems(problems, input);

    // Written and read back.
    const QByteArray written = settingsfile::write(first);
    Settings again;
    const QList<settingsfile::Problem> againProblems = settingsfile::read(written, again);
    if (!againProblems.isEmpty())
        fail("the written file reads with a problem", input,
             QStringLiteral("line %1: %2")
                 .arg(againProblems[0].lineNumber)
                 .arg(againProblems[0].line));
    checkSameFields(again, first, "a field changed on its way through the file", input);
    if (again.digiList() != first.digiList())
        fail("the digipeater rows changed on their way through the file", input,
             QStringLiteral("got [%1], expected [%2]")
                 .arg(again.digiList().join(u'|'), first.digiList().join(u'|')));
    if (settingsfile::write(again) != written)
        fail("the file written a second time differs from the first", input);

    // The same bytes again, into the same settings.
    const QStringList rows = first.digiList();
    Settings copy;
    for (int i = 0; i < Settings::FieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        copy.setText(f, first.text(f));
    }
    settingsfile::read(input, first);
    checkSameFields(first, copy, "reading the same file twice changed a field", input);
    if (first.digiList() != rows + rows)
        fail("reading the same file twice did not add its digipeater rows once more", input);
    return 0;
}
