#include "web/countrytable.h"

#include "core/text.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <queue>

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

CountryTable::CountryTable(QString path) : path_(std::move(path))
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

// One stat a call. A missing or unreadable file answers "" and is tried again
// on the next call.
void CountryTable::reloadIfChanged()
{
    const QFileInfo info(path_);
    if (!info.exists()) {
        if (loaded_)
            clear();
        return;
    }
    const qint64 size = info.size();
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
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
    QHash<QString, qint32> nameIds;
    names_ = QStringList{unknown()};
    Range range;
    bool ended = false;
    for (const QString &line : text::splitLines(table)) {
        if (!parseLine(line, range)) {
            ended = true;
            break;
        }
        const auto index = static_cast<qint32>(ranges_++);
        if (!(range.lower <= range.upper))
            continue;
        const QString name = range.name.toString();
        auto id = nameIds.constFind(name);
        if (id == nameIds.cend()) {
            id = nameIds.insert(name, static_cast<qint32>(names_.size()));
            names_ << name;
        }
        spans.push_back({range.lower, std::nextafter(range.upper, kInfinity), index, *id});
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
