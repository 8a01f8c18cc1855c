#include "core/settingsfile.h"

#include "core/files.h"
#include "core/text.h"

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

class Reader
{
public:
    Reader(const QByteArray &content, Settings &settings)
        : lines_(text::splitLines(content)), settings_(settings)
    {
    }

    QList<Problem> run()
    {
        QString line;
        while (next(line)) {
            // Each section leaves its last line read in `line`, and the
            // later comparisons of this same turn see it.
            if (line == kHeaderAprsIs)
                readFields(kAprsIs, line);
            if (line == kHeaderInetTx)
                readFields(kInetTx, line);
            if (line == kHeaderIgate)
                readIgate(line);
            if (line == kHeaderMisc)
                readFields(kMisc, line);
        }
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
        if (info.kind != Settings::Kind::Check) {
            settings_.setText(field, value);
            return;
        }
        bool ok = false;
        const int number = value.trimmed().toInt(&ok);
        if (!ok || (number != 0 && number != 1))
            problems_.append({field, static_cast<int>(pos_), line.left(100)});
        settings_.setCheck(field, ok && number == 1);
    }

    void readFields(const QList<F> &fields, QString &line)
    {
        for (F field : fields) {
            if (!next(line))
                return;
            store(field, line);
        }
    }

    void readIgate(QString &line)
    {
        while (next(line)) {
            if (line.contains(QLatin1String("Gate Only Direct="))) {
                store(F::GateOnlyDirect, line);
                readFields(kIgate, line);
                return;
            }
            settings_.appendDigi(valueOf(line, 50));
        }
    }

    QStringList lines_;
    qsizetype pos_ = 0;
    Settings &settings_;
    QList<Problem> problems_;
};

void writeFields(QStringList &out, const Settings &settings, const QList<F> &fields)
{
    for (F field : fields) {
        const Settings::Info &info = Settings::info(field);
        const QString key = QString::fromLatin1(info.key);
        if (info.kind == Settings::Kind::Check)
            out << key + (settings.isOn(field) ? QStringLiteral(" 1") : QStringLiteral(" 0"));
        else
            out << key + settings.text(field);
    }
}

} // namespace

QList<Problem> read(const QByteArray &content, Settings &settings)
{
    return Reader(content, settings).run();
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
        out << kDigiKey + row;
    writeFields(out, settings, {F::GateOnlyDirect});
    writeFields(out, settings, kIgate);
    out << QString() << kHeaderMisc;
    writeFields(out, settings, kMisc);

    return files::joinLines(out);
}

} // namespace kestrel::settingsfile
