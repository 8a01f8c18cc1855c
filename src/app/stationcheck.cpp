#include "app/stationcheck.h"

#include "aprsis/passcode.h"
#include "core/services.h"
#include "core/settingsfile.h"
#include "core/text.h"
#include "host/hostmailbox.h"
#include "station/satellites.h"

#include <QFile>
#include <QFileInfo>

namespace kestrel {

namespace {

class Report
{
public:
    explicit Report(std::FILE *out) : out_(out) {}
    void line(const QString &text) { std::fprintf(out_, "%s\n", qPrintable(text)); }
    void problem(const QString &text)
    {
        ++problems_;
        line(QStringLiteral("  PROBLEM: ") + text);
    }
    int problems() const { return problems_; }

private:
    std::FILE *out_;
    int problems_ = 0;
};

std::optional<QString> value(const mailbox::Store &store, const QString &key)
{
    const auto v = store.get(mailbox::kCurrentUser, key.toStdString(), "String");
    if (!v)
        return std::nullopt;
    return text::fromBytes(*v);
}

} // namespace

int checkStation(const ProgramFolder &folder, const mailbox::Store &store, std::FILE *out)
{
    Report r(out);
    r.line(QStringLiteral("Program folder %1").arg(folder.path()));
    if (!QFileInfo(folder.path()).isDir()) {
        r.problem(QStringLiteral("there is no such folder; kestrel --new-program-dir %1 makes one")
                      .arg(folder.path()));
        return 1;
    }
    const struct
    {
        const char *name;
        bool folder;
    } pieces[] = {{"\\Logs_Kestrel", true}, {"\\Web\\server.htm", false}};
    for (const auto &piece : pieces) {
        const QFileInfo info(folder.resolve(QLatin1String(piece.name)));
        const QString name = QString::fromLatin1(piece.name + 1).replace(u'\\', u'/');
        if (piece.folder ? !info.isDir() : !info.isFile())
            r.problem(name + QStringLiteral(" is missing; start-up needs it"));
    }

    QString passcode;
    QFile ini(folder.resolve(QStringLiteral("\\kestrel.ini")));
    if (!ini.open(QIODevice::ReadOnly)) {
        r.problem(QStringLiteral("kestrel.ini cannot be read: ") + ini.errorString());
    } else {
        r.line(QStringLiteral("kestrel.ini, each setting with the line it was read from:"));
        Settings settings;
        QList<settingsfile::Reading> readings;
        const auto problems = settingsfile::read(ini.readAll(), settings, &readings);
        for (const auto &reading : readings)
            r.line(QStringLiteral("  line %1 %2 %3")
                       .arg(reading.lineNumber, 3)
                       .arg(Settings::keyName(reading.field), -18)
                       .arg(text::printable(settings.text(reading.field))));
        for (const auto &p : problems)
            r.problem(p.describe());
        if (settings.text(Settings::AprsIsHost).trimmed().isEmpty())
            r.problem(QStringLiteral("APRS-IS Host is empty: there is no server to log in to"));
        passcode = settings.text(Settings::ValidationNumber).trimmed();
        if (passcode.isEmpty() || passcode == QLatin1String("-1"))
            r.line(QStringLiteral("  NOTE: without the APRS-IS passcode of the station's call in "
                                  "Validation# the server refuses the login: nothing is gated"));
    }

    QStringList serviceProblems;
    const Services services =
        Services::read(folder.resolve(QStringLiteral("\\services.ini")), &serviceProblems);
    for (const QString &p : serviceProblems)
        r.problem(p);

    QFile elements(folder.resolve(QStringLiteral("\\elements.txt")));
    if (elements.open(QIODevice::ReadOnly)) {
        const QByteArray content = elements.read(Satellites::kMaxElementsFile);
        const orbit::ReadResult read =
            orbit::readElements(std::string_view(content.constData(), std::size_t(content.size())));
        r.line(QStringLiteral("elements.txt: %1 element sets").arg(read.sets.size()));
        for (const QString &p : Satellites::elementsProblems(read, services.satellites))
            r.problem(p);
    } else if (services.issSource != Services::IssSource::Lookup) {
        r.problem(QStringLiteral("there is no elements.txt, but iss_source takes the ISS's "
                                 "position from it"));
    }

    r.line(QStringLiteral("Host mailbox"));
    const std::string unreachable = store.problem();
    if (!unreachable.empty()) {
        r.problem(QString::fromStdString(unreachable) +
                  QStringLiteral("; the host makes it, or zeno-host --mailbox DIR init --call CALL "
                                 "--path DIR"));
    } else {
        const auto call = value(store, HostMailbox::kMyCall);
        const auto path = value(store, HostMailbox::kPath);
        r.line(QStringLiteral("  MyCall %1, Path %2")
                   .arg(call.value_or(QStringLiteral("(none)")),
                        path.value_or(QStringLiteral("(none)"))));
        if (!call || call->isEmpty())
            r.problem(QStringLiteral("the mailbox holds no MyCall: the host (or zeno-host init) "
                                     "writes the station's call there"));
        else if (!passcode.isEmpty() && passcode != QLatin1String("-1") &&
                 passcode.toInt() != aprsis::passcode(*call))
            r.problem(QStringLiteral("Validation# %1 is not the APRS-IS passcode of %2: the "
                                     "server will refuse the login")
                          .arg(passcode, call->section(u'-', 0, 0)));
        if (!path ||
            !QFileInfo(ProgramFolder::resolveUnder(*path, QStringLiteral("\\Zeno.ini"))).isFile())
            r.problem(QStringLiteral("there is no Zeno.ini in the host folder the mailbox names "
                                     "(Path): the beacon text is read from it"));
    }
    r.line(r.problems() ? QStringLiteral("%1 problem(s) found.").arg(r.problems())
                        : QStringLiteral("Nothing wrong found."));
    std::fflush(out);
    return r.problems() ? 1 : 0;
}

} // namespace kestrel
