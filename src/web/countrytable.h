#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <vector>

namespace kestrel {

// The visitor countries of the visits log, from an IP range table file
// (IP2.csv in the program folder). Each line is one range, in either of
//   "LOWER<TAB>UPPER<TAB>CC<TAB>CCC<TAB>NAME"      (the whole line quoted)
//   "LOWER","UPPER","CC","CCC","NAME"
// The first line whose range holds the address gives its name. A line of
// neither form ends the table: addresses no earlier line holds have no
// country ("") rather than an unknown one ("???").
//
// The table is read once into disjoint segments of the address line, each
// with the name that the first-match reading gives there, and searched by
// halving; scan() is that reading done line by line, the reference the
// segments answer for.
class CountryTable
{
public:
    explicit CountryTable(QString path);

    // The country for a visitor's address text ("192.0.2.7"): the name, "???"
    // when no range holds it, "" when the address has no four dotted parts, the
    // file is missing, or a line of neither form comes before any match.
    // Reloads the table first when the file changed (size or modification time
    // differ from the last load).
    QString lookup(const QString &address);
    // The same for an address number, on the table as loaded (no reload check).
    QString lookupNumber(quint32 address) const;
    // The sequential first-match reading of a table's bytes.
    static QString scan(const QByteArray &table, const QString &address);
    // Range lines taken in: those before the end of the table (reversed ones too).
    qsizetype ranges() const { return ranges_; }

    // The most of a file that is read; anything after is taken as not there.
    static constexpr qsizetype kMaxBytes = 64 * 1024 * 1024;

private:
    void reloadIfChanged();
    void clear();
    void build(const QByteArray &table);
    QString find(double address) const;

    QString path_;
    std::filesystem::path file_;
    bool loaded_ = false; // size_ and modified_ are those of the table in memory
    qint64 size_ = -1;
    qint64 modified_ = 0;
    qsizetype ranges_ = 0;
    // Segment i runs from starts_[i] up to starts_[i + 1] (not included);
    // starts_[0] is -infinity. Its answer is names_[labels_[i]]; names_[0] is
    // the answer where no range holds the address.
    std::vector<double> starts_;
    std::vector<qint32> labels_;
    QStringList names_;
};

} // namespace kestrel
