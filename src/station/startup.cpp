#include "core/files.h"
#include "core/settingsfile.h"
#include "core/text.h"
#include "station/gateway.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

// Start-up: the folders and files the station needs, the lists, the
// settings, and what the host is told and holds.

namespace kestrel {

namespace {

// A settings file is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// The fatal start-up messages, after the program folder.
QString fatalText(Gateway::Missing what)
{
    switch (what) {
    case Gateway::Missing::LogsFolder:
        return QStringLiteral("\\Logs_Kestrel folder is missing!");
    case Gateway::Missing::WebFolder:
        return QStringLiteral("\\Web folder is missing!");
    case Gateway::Missing::PageTemplate:
        return QStringLiteral("\\Web\\Server.htm file is missing!");
    case Gateway::Missing::SettingsFile:
        break;
    }
    return QStringLiteral("\\kestrel.ini file is missing!");
}

} // namespace

Gateway::StartOutcome Gateway::start()
{
    for (const TimerPlan &plan : timerPlans())
        if (plan.fromStart)
            timerswitch::enable(this->*(plan.timer));

    StartOutcome outcome = StartOutcome::Started;
    iss_.resetProgress();
    rfGate_.resetFarthest();
    webStartLocked_ = true;
    texts_.set(StateTexts::DxText, QString());

    if (!proveFolder(QStringLiteral("\\Logs_Kestrel\\test.txt"), Missing::LogsFolder, outcome) ||
        !proveFolder(QStringLiteral("\\Web\\test.txt"), Missing::WebFolder, outcome))
        return outcome;

    QFile page(folder_.resolve(QStringLiteral("\\web\\server.htm")));
    if (!QFileInfo(page.fileName()).isFile())
        return fatal(Missing::PageTemplate);
    if (!page.open(QIODevice::ReadOnly))
        return stopStartUp(
            QStringLiteral("cannot read %1: %2").arg(page.fileName(), page.errorString()));
    page.close();

    // A missing kestrel.ini ends start-up before the lists are created, so a
    // fatal start leaves the program folder as it found it.
    if (!QFileInfo::exists(folder_.resolve(QStringLiteral("\\kestrel.ini"))))
        return fatal(Missing::SettingsFile);

    if (!loadList(QStringLiteral("\\positions.txt"), positionsList_, positionsLoaded_, outcome))
        return outcome;
    texts_.set(StateTexts::WebServerState, QStringLiteral("WEB SERVER OFF"));
    if (!loadList(QStringLiteral("\\mheard.txt"), mheardList_, mheardLoaded_, outcome))
        return outcome;

    readingSettings_ = true;
    const bool settingsRead = readSettingsFile(outcome);
    readingSettings_ = false;
    if (!settingsRead)
        return outcome;
    web_.setCheckEnabled(settings_.isOn(Settings::WebServerYesNo));

    QStringList serviceProblems;
    services_ = Services::read(folder_.resolve(QStringLiteral("\\services.ini")), &serviceProblems);
    for (const QString &problem : serviceProblems)
        log_.logError(QStringLiteral("Settings"), problem);
    log_.setLimitKb(services_.logLimitKb);

    texts_.set(StateTexts::FilterDisplay, settings_.text(Settings::AprsFilter));
    mailbox_.selectPorts(settings_.text(Settings::RfPortIGate),
                         settings_.text(Settings::IGateRfPort));
    mailbox_.announce();

    const QString call = mailbox_.myCall();
    settings_.setText(Settings::OwnCall, call);
    texts_.set(StateTexts::OwnCallText, QStringLiteral("CallSign:") + call);
    if (call.isEmpty())
        log_.logError(
            QStringLiteral("Host"),
            QStringLiteral("the mailbox holds no call sign (MyCall); nothing can be gated "
                           "until the host has written it and Kestrel is restarted"));

    setConnectEnabled(true);
    readHostBeacon();
    deriveInternetBeacon();
    webStartLocked_ = false;
    mailbox_.setTransmitAddressing(settings_.text(Settings::UnprotoPath));
    // The frame the mailbox holds now was heard before this run (and gated
    // by an earlier one): taken already, or a restart would gate it again.
    lastFrameTaken_ = mailbox_.receivedFrame();
    // The own position is known: the passes over it.
    satellites_.start();

    markRunning();
    started_ = true;
    emit started();
    return StartOutcome::Started;
}

QString Gateway::runningMarker() const
{
    return folder_.resolve(QStringLiteral("\\kestrel.running"));
}

// A run leaves its marker behind only when it ended without the orderly way
// out (killed, a crash, the machine's power): the next start says so.
void Gateway::markRunning()
{
    QFile previous(runningMarker());
    if (previous.open(QIODevice::ReadOnly))
        log_.logError(QStringLiteral("Startup"),
                      QStringLiteral("the run started %1 did not end cleanly (killed or crashed); "
                                     "the lists are as they were last saved")
                          .arg(text::printable(text::fromBytes(previous.read(200)).trimmed())));
    previous.close();
    replaceFile(runningMarker(),
                text::toBytes(text::stamp(clock_.now()) + QStringLiteral(" by process ") +
                              QString::number(QCoreApplication::applicationPid()) +
                              QStringLiteral("\r\n")),
                QStringLiteral("the marker of a running gateway"));
}

Gateway::StartOutcome Gateway::fatal(Missing what)
{
    fatalMessage_ = folder_.path() + fatalText(what);
    for (const TimerPlan &plan : timerPlans())
        timerswitch::disable(this->*(plan.timer));
    timerswitch::enable(Timer12);
    return StartOutcome::Fatal;
}

Gateway::StartOutcome Gateway::stopStartUp(const QString &reason)
{
    log_.logError(QStringLiteral("Startup"), QStringLiteral("stopped: ") + reason);
    emit failure(QStringLiteral("Start-up stopped: ") + reason);
    return StartOutcome::Stopped;
}

bool Gateway::proveFolder(const QString &relative, Missing what, StartOutcome &outcome)
{
    const QString probe = folder_.resolve(relative);
    if (!QFileInfo(QFileInfo(probe).path()).isDir()) {
        outcome = fatal(what);
        return false;
    }
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        outcome = stopStartUp(QStringLiteral("cannot write in %1: %2")
                                  .arg(QFileInfo(probe).path(), file.errorString()));
        return false;
    }
    file.close();
    file.remove();
    return true;
}

bool Gateway::loadList(const QString &relative, TextList &list, bool &loaded, StartOutcome &outcome)
{
    const QString path = folder_.resolve(relative);
    const files::LoadedList result = files::loadList(path);
    if (!result.ok) {
        outcome = stopStartUp(QStringLiteral("cannot read %1: %2").arg(path, result.error));
        return false;
    }
    list.setRows(list.rows() + result.rows);
    loaded = true;
    return true;
}

bool Gateway::readSettingsFile(StartOutcome &outcome)
{
    QFile file(folder_.resolve(QStringLiteral("\\kestrel.ini")));
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) {
            outcome = fatal(Missing::SettingsFile);
            return false;
        }
        outcome = stopStartUp(
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    const QByteArray content = file.read(kMaxSettingsBytes);
    if (!file.atEnd())
        log_.logError(QStringLiteral("Settings"),
                      QStringLiteral("kestrel.ini is larger than %1 bytes; the rest was not read")
                          .arg(kMaxSettingsBytes));
    for (const settingsfile::Problem &p : settingsfile::read(content, settings_))
        log_.logError(QStringLiteral("Settings"), p.describe());
    return true;
}

void Gateway::readHostBeacon()
{
    const QString hostFolder = mailbox_.hostPath();
    const QString without = QStringLiteral("; running without the host beacon text, so no "
                                           "position beacon is sent and no distance computed");
    if (hostFolder.isEmpty()) {
        log_.logError(QStringLiteral("Host"),
                      QStringLiteral("the mailbox holds no host folder (Path)") + without);
        return;
    }
    // The host's folder is a file name of this system, not wire text.
    QFile ini(ProgramFolder::resolveUnder(QFile::decodeName(text::toBytes(hostFolder)),
                                          QStringLiteral("\\Zeno.ini")));
    if (!ini.open(QIODevice::ReadOnly)) {
        log_.logError(QStringLiteral("Host"),
                      QStringLiteral("cannot read %1: %2").arg(ini.fileName(), ini.errorString()) +
                          without);
        return;
    }
    const QStringList lines = text::splitLines(ini.read(kMaxSettingsBytes));
    const qsizetype at = lines.indexOf(QStringLiteral("[APRS]"));
    if (at < 0) {
        log_.logError(QStringLiteral("Host"),
                      QStringLiteral("%1 has no [APRS] line").arg(ini.fileName()) + without);
        return;
    }
    if (at + 1 >= lines.size()) {
        log_.logError(QStringLiteral("Host"),
                      QStringLiteral("%1 has nothing after its [APRS] line").arg(ini.fileName()) +
                          without);
        return;
    }
    if (lines[at + 1].isEmpty())
        log_.logError(
            QStringLiteral("Host"),
            QStringLiteral("%1 has an empty line after its [APRS] line").arg(ini.fileName()) +
                without);
    settings_.setText(Settings::HostBeaconText, lines[at + 1]);
}

void Gateway::deriveInternetBeacon()
{
    const QString host = settings_.text(Settings::HostBeaconText);
    // Without a beacon text of the host's there is no position to mark with
    // the symbol: a symbol alone would go out as a position beacon.
    if (!settings_.isOn(Settings::DishSymbol) || host.isEmpty()) {
        settings_.setText(Settings::InternetBeaconText, host);
        return;
    }
    // The digipeater symbol: "/" as symbol table, "#" as symbol code.
    settings_.setText(Settings::InternetBeaconText, text::left(host, 9) + QLatin1Char('/') +
                                                        text::mid(host, 11, 9) + QLatin1Char('#') +
                                                        text::mid(host, 21, 100));
}

} // namespace kestrel
