#include "station/gateway.h"

#include "core/files.h"
#include "core/settingsfile.h"
#include "core/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>

namespace kestrel {

namespace {

// A settings file is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// A monitor text holds one AX.25 frame: a header of calls and details and at
// most 256 bytes of information. Anything much longer is not a frame.
constexpr qsizetype kMaxMonitorText = 2048;

const QString kTerminated = QStringLiteral("zeno terminated!");

struct TimerPlan
{
    QTimer Gateway::*timer;
    int interval;
    bool oneShot;
    bool fromStart;
    void (Gateway::*tick)();
};

const TimerPlan kTimers[] = {
    {&Gateway::Timer1, 30000, true, true, &Gateway::timer1Tick},
    {&Gateway::Timer2, 1000, false, false, &Gateway::timer2Tick},
    {&Gateway::Timer4, 2000, true, false, &Gateway::timer4Tick},
    {&Gateway::Timer5, 2000, true, false, &Gateway::timer5Tick},
    {&Gateway::Timer6, 1000, false, true, &Gateway::timer6Tick},
    {&Gateway::Timer7, 2000, false, true, &Gateway::timer7Tick},
    {&Gateway::Timer8, 10000, true, false, &Gateway::timer8Tick},
    {&Gateway::Timer9, 5000, true, false, &Gateway::timer9Tick},
    {&Gateway::Timer10, 750, true, true, &Gateway::timer10Tick},
    {&Gateway::Timer12, 150, true, false, &Gateway::timer12Tick},
    {&Gateway::Timer14, 60000, false, false, &Gateway::timer14Tick},
    {&Gateway::Timer15, 250, false, false, &Gateway::timer15Tick},
    {&Gateway::Timer16, 1000, false, true, &Gateway::timer16Tick},
};

// The fatal start-up messages, by step, after the program folder.
QString fatalText(int step)
{
    switch (step) {
    case 1:
        return QStringLiteral("\\Logs_Kestrel folder is missing!");
    case 2:
        return QStringLiteral("\\Web folder is missing!");
    case 3:
        return QStringLiteral("\\Web\\Server.htm file is missing!");
    default:
        return QStringLiteral("\\kestrel.ini file is missing!");
    }
}

} // namespace

Gateway::Gateway(const ProgramFolder &folder, mailbox::Store &store, Clock &clock, QObject *parent)
    : QObject(parent), mailbox(store), folder_(folder), clock_(clock)
{
    for (const TimerPlan &plan : kTimers) {
        QTimer &timer = this->*(plan.timer);
        timer.setInterval(plan.interval);
        timer.setSingleShot(plan.oneShot);
        connect(&timer, &QTimer::timeout, this, plan.tick);
    }
    connect(&settings, &Settings::changed, this, &Gateway::onSettingChanged);
    connect(&link, &AprsIsLink::lineReceived, this,
            [this](const QByteArray &line) { receivePath.handle(line); });
    connect(&mailbox, &HostMailbox::writeFailed, this,
            [this](const QString &key, const QString &name) {
                logError(QStringLiteral("Mailbox"),
                         QStringLiteral("could not store %1 \"%2\"").arg(key, name));
            });
}

void Gateway::logError(const QString &word, const QString &message)
{
    log_.logError(word, message);
}

Gateway::StartOutcome Gateway::start()
{
    for (const TimerPlan &plan : kTimers)
        if (plan.fromStart)
            enable(this->*(plan.timer));

    StartOutcome outcome = StartOutcome::Started;
    setIssProgress(1);
    la_otra = 0;
    Label17 = true;
    texts.set(StateTexts::DxText, QString());

    if (!proveFolder(QStringLiteral("\\Logs_Kestrel\\test.txt"), 1, outcome) ||
        !proveFolder(QStringLiteral("\\Web\\test.txt"), 2, outcome))
        return outcome;

    QFile page(folder_.resolve(QStringLiteral("\\web\\server.htm")));
    if (!QFileInfo(page.fileName()).isFile())
        return fatal(3);
    if (!page.open(QIODevice::ReadOnly))
        return stopStartUp(
            QStringLiteral("cannot read %1: %2").arg(page.fileName(), page.errorString()));
    page.close();

    // A missing kestrel.ini ends start-up before the lists are created, so a
    // fatal start leaves the program folder as it found it.
    if (!QFileInfo::exists(folder_.resolve(QStringLiteral("\\kestrel.ini"))))
        return fatal(4);

    if (!loadList(QStringLiteral("\\positions.txt"), positionsList, positionsLoaded_, outcome))
        return outcome;
    texts.set(StateTexts::WebServerState, QStringLiteral("WEB SERVER OFF"));
    if (!loadList(QStringLiteral("\\mheard.txt"), mheardList, mheardLoaded_, outcome))
        return outcome;

    Label7 = true;
    const bool settingsRead = readSettingsFile(outcome);
    Label7 = false;
    if (!settingsRead)
        return outcome;
    web.setCheckEnabled(settings.isOn(Settings::WebServerYesNo));

    QStringList serviceProblems;
    services = Services::read(folder_.resolve(QStringLiteral("\\services.ini")), &serviceProblems);
    for (const QString &problem : serviceProblems)
        logError(QStringLiteral("Settings"), problem);
    log_.setLimitKb(services.logLimitKb);

    texts.set(StateTexts::FilterDisplay, settings.text(Settings::AprsFilter));
    mailbox.selectPorts(settings.text(Settings::RfPortIGate), settings.text(Settings::IGateRfPort));
    mailbox.announce();

    const QString call = mailbox.myCall();
    settings.setText(Settings::OwnCall, call);
    texts.set(StateTexts::OwnCallText, QStringLiteral("CallSign:") + call);
    if (call.isEmpty())
        logError(QStringLiteral("Host"),
                 QStringLiteral("the mailbox holds no call sign (MyCall); nothing can be gated "
                                "until the host has written it and Kestrel is restarted"));

    setConnectEnabled(true);
    readHostBeacon();
    deriveInternetBeacon();
    Label17 = false;
    mailbox.setTransmitAddressing(settings.text(Settings::UnprotoPath));

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
        logError(QStringLiteral("Startup"),
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

Gateway::StartOutcome Gateway::fatal(int step)
{
    texto_de_error = folder_.path() + fatalText(step);
    for (const TimerPlan &plan : kTimers)
        disable(this->*(plan.timer));
    enable(Timer12);
    return StartOutcome::Fatal;
}

Gateway::StartOutcome Gateway::stopStartUp(const QString &reason)
{
    logError(QStringLiteral("Startup"), QStringLiteral("stopped: ") + reason);
    emit failure(QStringLiteral("Start-up stopped: ") + reason);
    return StartOutcome::Stopped;
}

bool Gateway::proveFolder(const QString &relative, int step, StartOutcome &outcome)
{
    const QString probe = folder_.resolve(relative);
    if (!QFileInfo(QFileInfo(probe).path()).isDir()) {
        outcome = fatal(step);
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
            outcome = fatal(4);
            return false;
        }
        outcome = stopStartUp(
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    const QByteArray content = file.read(kMaxSettingsBytes);
    if (!file.atEnd())
        logError(QStringLiteral("Settings"),
                 QStringLiteral("kestrel.ini is larger than %1 bytes; the rest was not read")
                     .arg(kMaxSettingsBytes));
    for (const settingsfile::Problem &p : settingsfile::read(content, settings))
        logError(QStringLiteral("Settings"), p.describe());
    return true;
}

void Gateway::readHostBeacon()
{
    const QString hostFolder = mailbox.hostPath();
    const QString without = QStringLiteral("; running without the host beacon text, so no "
                                           "position beacon is sent and no distance computed");
    if (hostFolder.isEmpty()) {
        logError(QStringLiteral("Host"),
                 QStringLiteral("the mailbox holds no host folder (Path)") + without);
        return;
    }
    // The host's folder is a file name of this system, not wire text.
    QFile ini(ProgramFolder::resolveUnder(QFile::decodeName(text::toBytes(hostFolder)),
                                          QStringLiteral("\\Zeno.ini")));
    if (!ini.open(QIODevice::ReadOnly)) {
        logError(QStringLiteral("Host"),
                 QStringLiteral("cannot read %1: %2").arg(ini.fileName(), ini.errorString()) +
                     without);
        return;
    }
    const QStringList lines = text::splitLines(ini.read(kMaxSettingsBytes));
    const qsizetype at = lines.indexOf(QStringLiteral("[APRS]"));
    if (at < 0) {
        logError(QStringLiteral("Host"),
                 QStringLiteral("%1 has no [APRS] line").arg(ini.fileName()) + without);
        return;
    }
    if (at + 1 >= lines.size()) {
        logError(QStringLiteral("Host"),
                 QStringLiteral("%1 has nothing after its [APRS] line").arg(ini.fileName()) +
                     without);
        return;
    }
    if (lines[at + 1].isEmpty())
        logError(QStringLiteral("Host"),
                 QStringLiteral("%1 has an empty line after its [APRS] line").arg(ini.fileName()) +
                     without);
    settings.setText(Settings::HostBeaconText, lines[at + 1]);
}

void Gateway::deriveInternetBeacon()
{
    const QString host = settings.text(Settings::HostBeaconText);
    // Without a beacon text of the host's there is no position to mark with
    // the symbol: a symbol alone would go out as a position beacon.
    if (!settings.isOn(Settings::DishSymbol) || host.isEmpty()) {
        settings.setText(Settings::InternetBeaconText, host);
        return;
    }
    // The digipeater symbol: "/" as symbol table, "#" as symbol code.
    settings.setText(Settings::InternetBeaconText, text::left(host, 9) + QLatin1Char('/') +
                                                       text::mid(host, 11, 9) + QLatin1Char('#') +
                                                       text::mid(host, 21, 100));
}

void Gateway::onSettingChanged(Settings::Field field)
{
    switch (field) {
    case Settings::DishSymbol:
    case Settings::HostBeaconText:
        deriveInternetBeacon();
        break;
    case Settings::IssObject:
        issObjectSwitched(settings.isOn(Settings::IssObject));
        break;
    case Settings::WebServerYesNo:
        webServerCheckClicked();
        break;
    case Settings::ProxyYesNo:
        checkProxyFormat();
        break;
    default:
        break;
    }
}

void Gateway::issObjectSwitched(bool on)
{
    if (on) {
        enable(Timer14);
        enable(Timer16);
    } else {
        disable(Timer14);
        disable(Timer16);
    }
    setIssProgress(1);
    setIssBarVisible(on);
    texts.set(StateTexts::IssObject, QString());
    texts.set(StateTexts::IssLine, QString());
    texts.set(StateTexts::IssCaption,
              on ? QStringLiteral("+ISS Position Object") : QStringLiteral("ISS Position Object"));
}

void Gateway::checkProxyFormat()
{
    // Ticking the proxy box wants "address:port"; while the file is read
    // nothing is checked.
    if (Label7 || !settings.isOn(Settings::ProxyYesNo) ||
        settings.text(Settings::ProxyAddress).contains(QLatin1Char(':')))
        return;
    emit information(QStringLiteral("Proxy format is:\rExample: 192.168.0.1:23"));
    settings.setCheck(Settings::ProxyYesNo, false);
}

void Gateway::webServerCheckClicked()
{
    web.start(true);
}

void Gateway::closeLink()
{
    link.close();
}

// --- The ways out ---------------------------------------------------------

bool Gateway::replaceFile(const QString &path, const QByteArray &content, const QString &what)
{
    const QString error = files::replaceFile(path, content);
    if (error.isEmpty())
        return true;
    const QString message = QStringLiteral("Could not save %1 to %2: %3").arg(what, path, error);
    logError(QStringLiteral("Files"), message);
    emit failure(message);
    return false;
}

bool Gateway::saveList(const QString &path, const TextList &list)
{
    return replaceFile(path, files::joinLines(list.rows()),
                       QStringLiteral("the %1 list").arg(list.name()));
}

bool Gateway::writeSettingsFile()
{
    return replaceFile(folder_.resolve(QStringLiteral("\\kestrel.ini")),
                       settingsfile::write(settings), QStringLiteral("the settings"));
}

bool Gateway::confirmSettings()
{
    const bool written = writeSettingsFile();
    mailbox.selectPorts(settings.text(Settings::RfPortIGate), settings.text(Settings::IGateRfPort));
    mailbox.setTransmitAddressing(settings.text(Settings::UnprotoPath));
    if (settings.isOn(Settings::IssObject)) {
        enable(Timer14);
        texts.set(StateTexts::IssCaption, QStringLiteral("+ISS Position Object"));
    } else {
        disable(Timer14);
        texts.set(StateTexts::IssCaption, QStringLiteral("ISS Position Object"));
        texts.set(StateTexts::IssLine, QString());
    }
    emit settingsConfirmed();
    return written;
}

void Gateway::closeMainWindow()
{
    if (quitting_)
        return;
    closeLink();
    bool saved = true;
    // A list that could not be loaded is not saved over its file.
    if (mheardLoaded_)
        saved = saveList(folder_.resolve(QStringLiteral("\\mheard.txt")), mheardList) && saved;
    if (positionsLoaded_)
        saved =
            saveList(folder_.resolve(QStringLiteral("\\positions.txt")), positionsList) && saved;
    requestQuit(saved ? 0 : 1);
}

void Gateway::exitCommand()
{
    if (quitting_)
        return;
    closeLink();
    const bool saved =
        saveList(QDir::current().absoluteFilePath(QStringLiteral("estaciones.txt")), igatedList);
    requestQuit(saved ? 0 : 1);
}

void Gateway::requestQuit(int status)
{
    quitting_ = true;
    // The host takes one command at a time; what still waits would only
    // overwrite what it has not read yet.
    for (const QString &command : mailbox.discardPending())
        logError(QStringLiteral("Mailbox"),
                 QStringLiteral("ending before this was handed to the host: ") +
                     text::printable(command));
    for (const TimerPlan &plan : kTimers)
        disable(this->*(plan.timer));
    if (started_)
        QFile::remove(runningMarker());
    emit quitRequested(status);
}

// --- Operator commands and procedures --------------------------------------

void Gateway::connectCommand()
{
    // A pending automatic connection or reconnection would undo this.
    disable(Timer1);
    if (Timer9.isActive()) {
        disable(Timer9);
        setReconnectNoticeVisible(false);
    }
    con_descon_inet();
}

void Gateway::setListAllPackets(bool on)
{
    if (listAllPackets_ == on)
        return;
    listAllPackets_ = on;
    emit listAllPacketsChanged(on);
}

void Gateway::CheckStatus()
{
    const QString status = mailbox.hostStatus();
    texts.set(StateTexts::HostStatus, status.left(100));
    if (status == kTerminated && settings.isOn(Settings::CloseZeno)) {
        logError(QStringLiteral("Host"),
                 QStringLiteral("the host reports it has terminated; ending as "
                                "\"Close when Zeno ends\" asks, without saving the lists"));
        requestQuit(0); // at once, saving nothing: the host has gone
    }
}

void Gateway::con_descon_inet()
{
    link.con_descon_inet();
}

void Gateway::announce()
{
    // Nothing goes to the server before the login.
    if (!link.loggedIn())
        return;
    const QString head = settings.text(Settings::OwnCall) + QStringLiteral(">APKR02,APRS:");
    // Listed, then sent: the lines stay listed if a send fails, and a failed
    // send ends the run (the link's teardown follows by itself).
    const auto announceLine = [&](const QString &information) {
        internetList.append(head);
        internetList.append(information);
        return link.send(text::toBytes(head + information + QStringLiteral("\r\n")));
    };
    if (settings.isOn(Settings::InetBeacon)) {
        // Without a beacon text of its own the station has no position to send.
        const QString beacon = settings.text(Settings::InternetBeaconText);
        if (!beacon.isEmpty()) {
            texts.bump(StateTexts::InetTx);
            if (!announceLine(beacon))
                return;
        }
        if (settings.isOn(Settings::AddDx))
            texts.bump(StateTexts::InetTx);
        QString status = settings.text(Settings::StatusText);
        const QString dx = texts.text(StateTexts::DxText);
        if (settings.isOn(Settings::AddDx) && !dx.isEmpty())
            status += QStringLiteral(" DX:") + dx;
        if (!announceLine(QLatin1Char('>') + status))
            return;
    }
    if (settings.isOn(Settings::SendBull)) {
        texts.bump(StateTexts::InetTx);
        announceLine(QStringLiteral(":BLN      :") + settings.text(Settings::BulletinText));
    }
}

bool Gateway::appendLog(const QString &relative, const QStringList &lines)
{
    return log_.appendLog(relative, lines);
}

void Gateway::setReconnectNoticeVisible(bool visible)
{
    if (reconnectNotice_ == visible)
        return;
    reconnectNotice_ = visible;
    emit reconnectNoticeChanged(visible);
}

void Gateway::issRoutine()
{
    iss.run();
}

// --- Timer ticks -------------------------------------------------------------

void Gateway::timer1Tick()
{
    disable(Timer1);
    if (settings.isOn(Settings::AutoYesNo))
        con_descon_inet();
}

void Gateway::timer2Tick()
{
    inetRfGate.clockTick();
}

void Gateway::timer4Tick()
{
    link.relayTimerTick();
}

void Gateway::timer5Tick()
{
    link.loginTimerTick();
}

void Gateway::timer6Tick()
{
    CheckStatus();
    if (quitting_)
        return;
    // A mailbox that has gone is said once; the last frame taken is kept, so
    // the same frame found again when it is back is not gated twice.
    const QString problem = mailbox.problem();
    if (problem != mailboxProblem_) {
        logError(QStringLiteral("Mailbox"),
                 problem.isEmpty() ? QStringLiteral("the mailbox is back; reading frames again")
                                   : problem + QStringLiteral("; frames wait until it is back"));
        mailboxProblem_ = problem;
    }
    if (!problem.isEmpty())
        return;
    // Whatever one frame meets, the next second's pass comes; the link is
    // touched only by a send that fails.
    try {
        rfReceivePass();
    } catch (const std::exception &) {
        appendLog(QStringLiteral("\\errors.txt"),
                  {QStringLiteral("Error_timer6 Time:") + text::stamp(clock_.now()),
                   QStringLiteral("Error_timer6 Packet:") + Pac_viejo});
    }
}

void Gateway::rfReceivePass()
{
    const QString frame = mailbox.receivedFrame();
    if (frame == Pac_viejo)
        return;
    Pac_viejo = frame;
    if (frame.size() > kMaxMonitorText) {
        refusals.add(Refusal::OverlongFrame);
        logError(QStringLiteral("Frame"),
                 QStringLiteral("a monitor text of %1 bytes is longer than any frame; ignored: %2")
                     .arg(frame.size())
                     .arg(text::printable(frame.left(80))));
        return;
    }
    emit frameTaken(frame);
    rfGate.pass(frame);
}

void Gateway::timer7Tick()
{
    try {
        rfGate.expiry();
    } catch (const std::exception &) {
        appendLog(QStringLiteral("\\errors.txt"),
                  {QStringLiteral("Error_timer7 Time:") + text::stamp(clock_.now())});
    }
}

void Gateway::timer8Tick()
{
    link.teardownTimerTick();
}

void Gateway::timer9Tick()
{
    link.reconnectTimerTick();
}

void Gateway::timer10Tick()
{
    disable(Timer10);
    web.start(false);
}

void Gateway::timer12Tick()
{
    disable(Timer12);
    emit fatalError(texto_de_error);
}

void Gateway::timer14Tick()
{
    issRoutine();
}

void Gateway::timer15Tick()
{
    setIssLampVisible(!issLampVisible_);
}

void Gateway::timer16Tick()
{
    setIssProgress(issProgress_ + 16.66);
}

// --- Display state -------------------------------------------------------------

void Gateway::setIssProgress(double width)
{
    issProgress_ = width;
    emit issProgressChanged(width);
}

void Gateway::setIssBarVisible(bool visible)
{
    if (issBarVisible_ == visible)
        return;
    issBarVisible_ = visible;
    emit issBarVisibleChanged(visible);
}

void Gateway::setIssLampVisible(bool visible)
{
    if (issLampVisible_ == visible)
        return;
    issLampVisible_ = visible;
    emit issLampVisibleChanged(visible);
}

void Gateway::setIssAbove(bool above)
{
    if (issAbove_ == above)
        return;
    issAbove_ = above;
    emit issAboveChanged(above);
}

void Gateway::setConnectEnabled(bool enabled)
{
    if (connectEnabled_ == enabled)
        return;
    connectEnabled_ = enabled;
    emit connectEnabledChanged(enabled);
}

} // namespace kestrel
