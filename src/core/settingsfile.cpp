#include "core/settingsfile.h"

#include "core/files.h"
#include "core/text.h"

#include <climits>

namespace kestrel::settingsfile {

namespace {

using F = Settings::Field;

const QList<F> kAprsIs = {F::AprsIsHost, F::AprsIsPort,   F::ValidationNumber, F::AprsFilter,
                          F::ProxyYesNo, F::ProxyAddress, F::AutoYesNo};
const QList<F> kInetTx = {F::InetBeacon, F::DishSymbol,   F::Interval,    F::StatusText, F::AddDx,
                          F::SendBull,   F::BulletinText, F::AnswerYesNo, F::AnswerText};
const QList<F> kIgate = {F::DigiAll,     F::RfPortIGate,  F::OnlyDirect,  F::MHExpTime,
                         F::IGateRfPort, F::PacketsMin,   F::UnprotoPath, F::TypeAll,
                         F::TypeMessage, F::TypeBulletin, F::TypePosition};
const QList<F> kMisc = {F::RunZeno,       F::CloseZeno,   F::LogIGated, F::LogAprsIs,
                        F::LogServConn,   F::LogMsgs,     F::LogInetRf, F::WebServerYesNo,
                        F::WebServerPort, F::WebComments, F::LogVisits, F::IssObject,
                        F::IssObjectOnly};

const QString kHeaderAprsIs = QStringLiteral("[APRS-IS]");
const QString kHeaderInetTx = QStringLiteral("[Inet TX]");
const QString kHeaderIgate = QStringLiteral("[IGATE]");
const QString kHeaderMisc = QStringLiteral("[MISCELANEOUS]");
const QString kDigiKey = QStringLiteral("Digi List=");

// The value of a key line: what follows its first "=", or the whole line
// when it has none; cut to the field's length.
QString valueOf(const QString &line, int maxLength)
{
    const qsizetype eq = line.indexOf(u'=');
    return (eq < 0 ? line : line.mid(eq + 1)).left(maxLength);
}

// A whole number from low to high.
bool within(const QString &value, int low, int high)
{
    bool whole = false;
    const int n = value.toInt(&whole);
    return whole && n >= low && n <= high;
}

// The fields that cannot use any text: what they can use, for the operator,
// and the test of a value. An empty value is the field's "not set" and
// always passes.
struct Range
{
    F field;
    const char *allowed;
    bool (*usable)(const QString &value);
};
const Range kRanges[] = {
    {F::AprsIsPort, "a port from 1 to 65535", [](const QString &v) { return within(v, 1, 65535); }},
    {F::WebServerPort, "a port from 1 to 65535",
     [](const QString &v) { return within(v, 1, 65535); }},
    {F::ValidationNumber, "a passcode from -1 to 32767",
     [](const QString &v) { return within(v, -1, 32767); }},
    {F::Interval, "whole seconds", [](const QString &v) { return within(v, 0, INT_MAX); }},
    {F::RfPortIGate, "1 to 5 or All",
     [](const QString &v) { return v == QLatin1String("All") || within(v, 1, 5); }},
    {F::MHExpTime, "2, 3, 6 or 12",
     [](const QString &v) {
         return within(v, 2, 12) && QList<int>{2, 3, 6, 12}.contains(v.toInt());
     }},
    {F::IGateRfPort, "0 to 5", [](const QString &v) { return within(v, 0, 5); }},
    {F::PacketsMin, "6 to 9", [](const QString &v) { return within(v, 6, 9); }},
};

const Range *rangeOf(F field)
{
    for (const Range &r : kRanges)
        if (r.field == field)
            return &r;
    return nullptr;
}

class Reader
{
public:
    Reader(const QByteArray &content, Settings &settings, QList<Reading> *readings)
        : lines_(text::splitLines(content)), settings_(settings), readings_(readings)
    {
    }

    QList<Problem> run()
    {
        QString line;
        bool seen[4] = {};
        while (next(line)) {
            // Each section leaves its last line read in `line`, and the
            // later comparisons of this same turn see it.
            if (line == kHeaderAprsIs) {
                seen[0] = true;
                readFields(kAprsIs, line);
            }
            if (line == kHeaderInetTx) {
                seen[1] = true;
                readFields(kInetTx, line);
            }
            if (line == kHeaderIgate) {
                seen[2] = true;
                readIgate(line);
            }
            if (line == kHeaderMisc) {
                seen[3] = true;
                readFields(kMisc, line);
            }
        }
        const F firsts[4] = {F::AprsIsHost, F::InetBeacon, F::GateOnlyDirect, F::RunZeno};
        for (int i = 0; i < 4; ++i)
            if (!seen[i])
                problems_.append({Problem::SectionMissing, firsts[i], 0, QString(), 0});
        return problems_;
    }

private:
    bool next(QString &line)
    {
        if (pos_ >= lines_.size())
            return false;
        line = lines_[pos_++];
        return true;
    }

    void store(F field, const QString &line)
    {
        const Settings::Info &info = Settings::info(field);
        const QString value = valueOf(line, info.maxLength);
        const int lineNumber = static_cast<int>(pos_);
        if (readings_)
            readings_->append({field, lineNumber, line});
        if (!line.startsWith(QLatin1String(info.key)))
            problems_.append({Problem::KeyNotExpected, field, lineNumber, line.left(100), 0});
        if (info.kind != Settings::Kind::Check) {
            if (const Range *range = rangeOf(field);
                range && !value.isEmpty() && !range->usable(value))
                problems_.append({Problem::OutOfRange, field, lineNumber, value.left(100), 0});
            settings_.setText(field, value);
            return;
        }
        // A whole number, written any way a number can be ("1", " 1", "1.0").
        bool ok = false;
        const double number = value.trimmed().toDouble(&ok);
        const bool valid = ok && (number == 0 || number == 1);
        if (!valid)
            problems_.append(
                {Problem::NotACheckValue, field, static_cast<int>(pos_), line.left(100), 0});
        settings_.setCheck(field, valid && number == 1);
    }

    void readFields(const QList<F> &fields, QString &line)
    {
        for (F field : fields) {
            if (!next(line)) {
                problems_.append(
                    {Problem::SectionCutShort, field, static_cast<int>(pos_), QString(), 0});
                return;
            }
            store(field, line);
        }
    }

    void readIgate(QString &line)
    {
        qsizetype rows = 0;
        while (next(line)) {
            if (line.contains(QLatin1String("Gate Only Direct="))) {
                store(F::GateOnlyDirect, line);
                readFields(kIgate, line);
                return;
            }
            settings_.appendDigi(valueOf(line, 50));
            ++rows;
        }
        problems_.append(
            {Problem::DigiListUnended, F::GateOnlyDirect, static_cast<int>(pos_), QString(), rows});
    }

    QStringList lines_;
    qsizetype pos_ = 0;
    Settings &settings_;
    QList<Reading> *readings_;
    QList<Problem> problems_;
};

// A value is one line of the file whatever the record holds.
QString oneLine(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

void writeFields(QStringList &out, const Settings &settings, const QList<F> &fields)
{
    for (F field : fields) {
        const Settings::Info &info = Settings::info(field);
        const QString key = QString::fromLatin1(info.key);
        if (info.kind == Settings::Kind::Check)
            out << key + (settings.isOn(field) ? QStringLiteral(" 1") : QStringLiteral(" 0"));
        else
            out << key + oneLine(settings.text(field));
    }
}

QString header(F field)
{
    if (field <= F::AutoYesNo)
        return kHeaderAprsIs;
    if (field <= F::AnswerText)
        return kHeaderInetTx;
    if (field <= F::TypePosition)
        return kHeaderIgate;
    return kHeaderMisc;
}

} // namespace

QString Problem::describe() const
{
    const QString key = Settings::keyName(field);
    switch (kind) {
    case NotACheckValue:
        return QStringLiteral("%1 on line %2 is not 0 or 1 (\"%3\"); read as 0")
            .arg(key)
            .arg(lineNumber)
            .arg(text::printable(line));
    case SectionMissing:
        return QStringLiteral("there is no %1 line; its settings keep their defaults")
            .arg(header(field));
    case SectionCutShort:
        return QStringLiteral("the file ends inside %1 before %2; the rest keep their values")
            .arg(header(field), key);
    case DigiListUnended:
        return QStringLiteral("there is no \"Gate Only Direct=\" line after [IGATE]: the %1 "
                              "lines to the end of the file were taken as call signs")
            .arg(count);
    case KeyNotExpected:
        return QStringLiteral("line %1 is read as %2 but reads \"%3\" (lines are taken by "
                              "their place)")
            .arg(lineNumber)
            .arg(key, text::printable(line));
    case OutOfRange:
        return QStringLiteral("%1 on line %2 is \"%3\", not %4")
            .arg(key)
            .arg(lineNumber)
            .arg(text::printable(line), QLatin1String(rangeOf(field)->allowed));
    }
    return {};
}

QList<Problem> read(const QByteArray &content, Settings &settings, QList<Reading> *readings)
{
    return Reader(content, settings, readings).run();
}

QByteArray write(const Settings &settings)
{
    QStringList out;
    out << QStringLiteral("[ZENO-KESTREL]") << QStringLiteral("; Zeno AddOn by Mirtak")
        << QString();
    out << kHeaderAprsIs;
    writeFields(out, settings, kAprsIs);
    out << QString() << kHeaderInetTx;
    writeFields(out, settings, kInetTx);
    out << QString() << kHeaderIgate;
    for (const QString &row : settings.digiList())
        out << kDigiKey + oneLine(row);
    writeFields(out, settings, {F::GateOnlyDirect});
    writeFields(out, settings, kIgate);
    out << QString() << kHeaderMisc;
    writeFields(out, settings, kMisc);

    return files::joinLines(out);
}

} // namespace kestrel::settingsfile
