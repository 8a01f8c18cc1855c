#include "app/newprogramdir.h"

#include "core/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrel {

namespace {

using F = Settings::Field;

// What an unattended station should start with: receive and gate from RF,
// nothing from the Internet to RF (the satellite channel is no place for
// it), no announcements, the host left running at the end.
QByteArray safeSettings()
{
    Settings s;
    const std::pair<F, const char *> texts[] = {{F::AprsIsHost, "rotate.aprs.net"},
                                                {F::AprsIsPort, "14580"},
                                                {F::ValidationNumber, "-1"},
                                                {F::AprsFilter, "m/50"},
                                                {F::Interval, "1800"},
                                                {F::StatusText, ""},
                                                {F::RfPortIGate, "All"},
                                                {F::MHExpTime, "2"},
                                                {F::IGateRfPort, "0"},
                                                {F::PacketsMin, "6"},
                                                {F::UnprotoPath, "ARISS"},
                                                {F::WebServerPort, "8080"}};
    for (const auto &[field, value] : texts)
        s.setText(field, QString::fromLatin1(value));
    for (F on : {F::AutoYesNo, F::DigiAll, F::LogIGated, F::LogServConn, F::WebServerYesNo})
        s.setCheck(on, true);
    return settingsfile::write(s);
}

const char *const kServices =
    "[services]\n"
    "; The web services Kestrel uses; a key left out keeps its default.\n"
    "; Where the operator looks a station up (the list's menu) and where the\n"
    "; ISS position comes from: host[:port], http:// or https:// allowed.\n"
    "; aprs_lookup_host=www.findu.com\n"
    "; callbook_host=www.qrz.com\n"
    "; The address opened by a double click on the station picture (empty: none).\n"
    "; site_url=\n"
    "; Each log under Logs_Kestrel is kept under this size in kB by dropping its\n"
    "; older half (0: no limit).\n"
    "log_limit_kb=1024\n";

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::NewOnly) && f.write(bytes) == bytes.size() &&
           f.flush();
}

} // namespace

int newProgramDir(const QString &path, std::FILE *out)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        std::fprintf(stderr, "kestrel: %s exists; --new-program-dir makes a new folder only\n",
                     qPrintable(path));
        return 1;
    }
    QFile page(QStringLiteral(":/kestrel/server.htm"));
    const bool made = QDir().mkpath(path + QStringLiteral("/Logs_Kestrel")) &&
                      QDir().mkpath(path + QStringLiteral("/Web")) &&
                      page.open(QIODevice::ReadOnly) &&
                      write(path + QStringLiteral("/Web/server.htm"), page.readAll()) &&
                      write(path + QStringLiteral("/kestrel.ini"), safeSettings()) &&
                      write(path + QStringLiteral("/services.ini"), kServices);
    if (!made) {
        std::fprintf(stderr, "kestrel: could not make the program folder %s\n", qPrintable(path));
        return 1;
    }
    std::fprintf(out,
                 "Made the program folder %s. Before the first start, in kestrel.ini:\n"
                 "  Validation#=   the APRS-IS passcode of your call (-1: receive only)\n"
                 "  APRS Filter=   what APRS-IS sends you (m/50: 50 km around your position)\n"
                 "Internet-to-RF is off (IGate>RF Port=0) and nothing is announced (Inet "
                 "Beacon, SendBull 0).\n"
                 "The host (or zeno-host --mailbox DIR init --call CALL --path DIR) fills "
                 "the mailbox; then: kestrel --check --program-dir %s [--mailbox DIR]\n",
                 qPrintable(path), qPrintable(path));
    return 0;
}

} // namespace kestrel
