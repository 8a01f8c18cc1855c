#pragma once

#include <QHash>
#include <QString>

namespace kestrel {

// The program folder and the names under it. Names are written as the
// station files have always named them, relative with a leading backslash
// (\Logs_Kestrel\igated.txt); each part is matched case-insensitively, so
// "Web" and "web" are one folder whatever the file system thinks.
class ProgramFolder
{
public:
    explicit ProgramFolder(const QString &path = {});

    // The folder itself, absolute, with native separators: what messages show.
    QString path() const { return path_; }
    // The file or folder that a relative name stands for. Parts that do not
    // exist yet keep the spelling given. A name found before is taken again
    // at the cost of one check that it is still there.
    QString resolve(const QString &relative) const;

    // The same matching under any folder (the host's folder, for Zeno.ini).
    static QString resolveUnder(const QString &folder, const QString &relative);

private:
    QString path_;
    static constexpr qsizetype kMaxFound = 256;
    mutable QHash<QString, QString> found_; // relative name: what it resolved to, existing
};

} // namespace kestrel
