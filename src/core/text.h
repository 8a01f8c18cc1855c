#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <string>

// Text helpers shared by every module. External text is 8-bit: it crosses
// the program's edge as Latin-1, so every byte comes back out unchanged.
// Character positions count from 1, as the mailbox and file formats do.
namespace kestrel::text {

inline QString fromBytes(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline QString fromBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}
inline std::string toStdBytes(const QString &s)
{
    const QByteArray b = s.toLatin1();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}
inline QByteArray toBytes(const QString &s)
{
    return s.toLatin1();
}

// Position of the first occurrence of `what` in `s`, from 1; 0 when absent.
qsizetype instr(const QString &s, const QString &what);
// Up to `length` characters from the 1-based position `start` (all the rest
// when length is negative). Positions outside the text give what is there.
QString mid(const QString &s, qsizetype start, qsizetype length = -1);
// The first `n` characters.
QString left(const QString &s, qsizetype n);

// The leading number of a text, read leniently: leading blanks skipped, an
// optional sign, digits with one optional decimal point; 0 when there is none.
double numericValue(const QString &s);
// Nearest whole number, halves to even.
long long roundHalfEven(double v);

// The station of a list row: its text before the first blank (all of it
// when it has none).
inline QStringView stationOf(const QString &row)
{
    const qsizetype blank = row.indexOf(u' ');
    return QStringView(row).left(blank < 0 ? row.size() : blank);
}

// Splits file content into lines at CR LF, CR or LF. A line end after the
// last line does not make an extra empty line.
QStringList splitLines(const QByteArray &content);

// Outside text made safe for one line of a log or terminal: a backslash,
// CR, LF and other control characters are written as escapes (\\, \r, \n,
// \xHH); everything else stays as it is.
QString printable(const QString &s);

// "DD-MM-YY HH:MM:SS", the one time stamp of lists and logs.
QString stamp(const QDateTime &t);
// Reads a stamp back; invalid when the text is not one.
QDateTime parseStamp(const QString &s);

} // namespace kestrel::text
