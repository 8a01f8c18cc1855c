#include "web/countrytable.h"

#include "core/text.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <queue>
#include <string_view>
#include <unordered_map>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace kestrel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

const QString &unknown()
{
    static const QString s = QStringLiteral("???");
    return s;
}

struct Range
{
    double lower = 0;
    double upper = 0;
    QStringView name;
};

// One line of the table; false for a line of neither form. The line holding
// a TAB is of the TAB form, else one holding "," of the comma form: the same
// five fields, with "," between them in place of the TAB. Either way the
// first character (the opening quote) is skipped, four separators must
// follow, and the name is the rest of the line less its last character (the
// closing quote), separators and all.
bool parseLine(QStringView line, Range &range)
{
    static const QString tab = QStringLiteral("\t");
    static const QString comma = QStringLiteral("\",\"");
    QStringView separator;
    if (line.contains(u'\t'))
        separator = tab;
    else if (line.contains(comma))
        separator = comma;
    else
        return false;

    const QStringView body = line.sliced(1);
    qsizetype ends[4];
    qsizetype from = 0;
    for (qsizetype &end : ends) {
        end = body.indexOf(separator, from);
        if (end < 0)
            return false;
        from = end + separator.size();
    }
    const qsizetype second = ends[0] + separator.size();
    range.lower = text::numericValue(body.first(ends[0]).toString());
    range.upper = text::numericValue(body.sliced(second, ends[1] - second).toString());
    range.name = body.sliced(from);
    if (!range.name.isEmpty())
        range.name.chop(1);
    return true;
}

// The same reading straight from the file's bytes, for loading: no text made
// for a line, and plain whole numbers read without a detour through text.
struct ByteRange
{
    double lower = 0;
    double upper = 0;
    std::string_view name;
};

double boundValue(std::string_view field)
{
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    const std::size_t first = i;
    quint64 v = 0;
    for (; i < field.size() && i - first < 15 && field[i] >= '0' && field[i] <= '9'; ++i)
        v = v * 10 + static_cast<quint64>(field[i] - '0');
    const bool whole =
        i > first && (i == field.size() || ((field[i] < '0' || field[i] > '9') && field[i] != '.'));
    if (whole)
        return static_cast<double>(v); // fewer than 2^53: exact
    return text::numericValue(
        QString::fromLatin1(field.data(), static_cast<qsizetype>(field.size())));
}

bool parseLine(std::string_view line, ByteRange &range)
{
    std::string_view separator;
    if (line.find('\t') != std::string_view::npos)
        separator = "\t";
    else if (line.find("\",\"") != std::string_view::npos)
        separator = "\",\"";
    else
        return false;

    const std::string_view body = line.substr(1);
    std::size_t ends[4];
    std::size_t from = 0;
    for (std::size_t &end : ends) {
        end = body.find(separator, from);
        if (end == std::string_view::npos)
            return false;
        from = end + separator.size();
    }
    const std::size_t second = ends[0] + separator.size();
    range.lower = boundValue(body.substr(0, ends[0]));
    range.upper = boundValue(body.substr(second, ends[1] - second));
    range.name = body.substr(from);
    if (!range.name.empty())
        range.name.remove_suffix(1);
    return true;
}

// o1 x 16777216 + o2 x 65536 + o3 x 256 + o4 of the parts before the first
// three dots and after the third, each read leniently; none when there are
// not three dots. Parts need not be bytes: "1.2.3.4.5" is 1.2.3 and 4.5.
std::optional<double> addressValue(const QString &address)
{
    double parts[4];
    qsizetype from = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = address.indexOf(u'.', from);
        if (dot < 0)
            return std::nullopt;
        parts[i] = text::numericValue(address.sliced(from, dot - from));
        from = dot + 1;
    }
    parts[3] = text::numericValue(address.sliced(from));
    return parts[0] * 16777216.0 + parts[1] * 65536.0 + parts[2] * 256.0 + parts[3];
}

} // namespace

CountryTable::CountryTable(QString path) : path_(std::move(path)), file_(path_.toStdU16String())
{
    clear();
    reloadIfChanged();
}

QString CountryTable::lookup(const QString &address)
{
    const std::optional<double> value = addressValue(address);
    if (!value)
        return {};
    reloadIfChanged();
    return find(*value);
}

QString CountryTable::lookupNumber(quint32 address) const
{
    return find(static_cast<double>(address));
}

QString CountryTable::scan(const QByteArray &table, const QString &address)
{
    const std::optional<double> value = addressValue(address);
    if (!value)
        return {};
    Range range;
    for (const QString &line : text::splitLines(table)) {
        if (!parseLine(line, range))
            return {};
        if (range.lower <= *value && *value <= range.upper)
            return range.name.toString();
    }
    return unknown();
}

QString CountryTable::find(double address) const
{
    // A NaN address (from parts like 1e308 and -1e308) is in no range; so is
    // segment 0.
    if (std::isnan(address))
        return names_[labels_.front()];
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), address);
    return names_[labels_[static_cast<std::size_t>(after - starts_.begin() - 1)]];
}

void CountryTable::clear()
{
    loaded_ = false;
    size_ = -1;
    modified_ = 0;
    ranges_ = 0;
    starts_.assign(1, -kInfinity);
    labels_.assign(1, 0);
    names_ = QStringList{QString()};
}

// A missing or unreadable file answers "" and is tried again on the next
// call. The file system's times, not Qt's, are compared: they need no time
// zone, which made the check take several times as long.
void CountryTable::reloadIfChanged()
{
#ifdef Q_OS_UNIX
    // One call for both, as each visit asks.
    struct stat st;
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0) {
        if (loaded_)
            clear();
        return;
    }
    const auto size = static_cast<qint64>(st.st_size);
    const auto modified = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
    std::error_code error;
    const auto size = static_cast<qint64>(std::filesystem::file_size(file_, error));
    if (error) {
        if (loaded_)
            clear();
        return;
    }
    const auto modified = static_cast<qint64>(
        std::filesystem::last_write_time(file_, error).time_since_epoch().count());
#endif
    if (loaded_ && size == size_ && modified == modified_)
        return;
    clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // A real table is a few MB; past kMaxBytes the file is cut off, a line
    // there cut short, so that a wrong file cannot take all the memory.
    build(file.read(std::min(file.size(), qint64{kMaxBytes})));
    loaded_ = true;
    size_ = size;
    modified_ = modified;
}

// Sweeps the range bounds in order, keeping the open ranges by line: between
// two bounds, the first open line is the one the sequential reading meets
// first. A range [lower, upper] is open from lower up to the next double
// above upper, so that bounds that are not whole numbers stay exact.
void CountryTable::build(const QByteArray &table)
{
    struct Span
    {
        double lower;
        double end;
        qint32 line;
        qint32 name;
    };
    std::vector<Span> spans;
    std::unordered_map<std::string_view, qint32> nameIds;
    names_ = QStringList{unknown()};
    bool ended = false;

    // Lines end at CR LF, CR or LF, as text::splitLines has them.
    const std::string_view bytes(table.constData(), static_cast<std::size_t>(table.size()));
    ByteRange range;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = at;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const std::string_view line = bytes.substr(at, end - at);
        at = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);

        if (!parseLine(line, range)) {
            ended = true;
            break;
        }
        const auto index = static_cast<qint32>(ranges_++);
        if (!(range.lower <= range.upper))
            continue;
        const auto [id, added] =
            nameIds.try_emplace(range.name, static_cast<qint32>(names_.size()));
        if (added)
            names_ << QString::fromLatin1(range.name.data(),
                                          static_cast<qsizetype>(range.name.size()));
        spans.push_back({range.lower, std::nextafter(range.upper, kInfinity), index, id->second});
    }
    if (ended)
        names_[0] = QString();

    std::vector<double> bounds;
    bounds.reserve(spans.size() * 2);
    for (const Span &s : spans) {
        bounds.push_back(s.lower);
        bounds.push_back(s.end);
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    std::sort(spans.begin(), spans.end(),
              [](const Span &a, const Span &b) { return a.lower < b.lower; });

    const auto later = [](const Span *a, const Span *b) { return a->line > b->line; };
    std::priority_queue<const Span *, std::vector<const Span *>, decltype(later)> open(later);
    std::size_t next = 0;
    starts_.reserve(bounds.size() + 1);
    labels_.reserve(bounds.size() + 1);
    for (const double at : bounds) {
        while (next < spans.size() && spans[next].lower <= at)
            open.push(&spans[next++]);
        // Ranges that ended are dropped once they come to the top; below it
        // they cannot hide the first open line.
        while (!open.empty() && open.top()->end <= at)
            open.pop();
        const qint32 label = open.empty() ? 0 : open.top()->name;
        if (label != labels_.back()) {
            starts_.push_back(at);
            labels_.push_back(label);
        }
    }
    starts_.shrink_to_fit();
    labels_.shrink_to_fit();
}

} // namespace kestrel
