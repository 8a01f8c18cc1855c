#include "core/settings.h"

#include "core/text.h"

namespace kestrel {

namespace {
using K = Settings::Kind;
using S = Settings;
constexpr std::array<Settings::Info, Settings::FieldCount> kFields{{
    {S::AprsIsHost, "APRS-IS Host=", K::Text, 50, ""},
    {S::AprsIsPort, "APRS-IS Port=", K::Text, 50, ""},
    {S::ValidationNumber, "Validation#=", K::Text, 50, ""},
    {S::AprsFilter, "APRS Filter=", K::Text, 100, ""},
    {S::ProxyYesNo, "Proxy YES/NO=", K::Check, 50, "0"},
    {S::ProxyAddress, "Proxy Address=", K::Text, 50, ""},
    {S::AutoYesNo, "Auto YES/NO=", K::Check, 50, "0"},
    {S::InetBeacon, "Inet Beacon=", K::Check, 50, "0"},
    {S::DishSymbol, "Dish Symbol=", K::Check, 50, "0"},
    {S::Interval, "Interval=", K::Text, 50, ""},
    {S::StatusText, "Status Text=", K::Text, 50, ""},
    {S::AddDx, "Add DX=", K::Check, 50, "0"},
    {S::SendBull, "SendBull=", K::Check, 50, "0"},
    {S::BulletinText, "Bulletin Text=", K::Text, 50, ""},
    {S::AnswerYesNo, "Answer YES/NO=", K::Check, 50, "0"},
    {S::AnswerText, "Answer Text=", K::Text, 50, "Only RF to Internet Service!"},
    {S::GateOnlyDirect, "Gate Only Direct=", K::Check, 50, "0"},
    {S::DigiAll, "DIGI All=", K::Check, 50, "0"},
    {S::RfPortIGate, "RF Port>IGate=", K::Choice, 50, ""},
    {S::OnlyDirect, "Only Direct=", K::Check, 50, "0"},
    {S::MHExpTime, "MHExpTime=", K::Choice, 50, ""},
    {S::IGateRfPort, "IGate>RF Port=", K::Choice, 50, ""},
    {S::PacketsMin, "Packets/min=", K::Choice, 50, ""},
    {S::UnprotoPath, "UnprotoPath=", K::Text, 50, ""},
    {S::TypeAll, "Type All=", K::Check, 50, "0"},
    {S::TypeMessage, "Type Message=", K::Check, 50, "0"},
    {S::TypeBulletin, "Type Bulletin=", K::Check, 50, "0"},
    {S::TypePosition, "Type Position=", K::Check, 50, "0"},
    {S::RunZeno, "Run Zeno=", K::Check, 50, "0"},
    {S::CloseZeno, "Close Zeno=", K::Check, 50, "0"},
    {S::LogIGated, "Log IGated=", K::Check, 50, "0"},
    {S::LogAprsIs, "Log APRS IS=", K::Check, 50, "0"},
    {S::LogServConn, "Log Serv_Conn=", K::Check, 50, "0"},
    {S::LogMsgs, "Log Msgs=", K::Check, 50, "0"},
    {S::LogInetRf, "Log Inet_RF=", K::Check, 50, "0"},
    {S::WebServerYesNo, "Web Server YES/NO=", K::Check, 50, "0"},
    {S::WebServerPort, "Web Server Port=", K::Text, 50, ""},
    {S::WebComments, "Web Comments=", K::Text, 50, ""},
    {S::LogVisits, "Log Visits=", K::Check, 50, "0"},
    {S::IssObject, "ISS Object=", K::Check, 50, "0"},
    {S::IssObjectOnly, "ISS Object Only=", K::Check, 50, "0"},
    {S::OwnCall, "", K::Identity, 0, ""},
    {S::HostBeaconText, "", K::Identity, 0, ""},
    {S::InternetBeaconText, "", K::Identity, 0, ""},
}};

constexpr bool fieldsInOrder()
{
    for (int i = 0; i < Settings::FieldCount; ++i)
        if (kFields[static_cast<std::size_t>(i)].field != i)
            return false;
    return true;
}
static_assert(fieldsInOrder(), "the field table follows the Field enum");
} // namespace

const Settings::Info &Settings::info(Field field)
{
    return kFields[static_cast<std::size_t>(field)];
}

Settings::Settings(QObject *parent) : QObject(parent)
{
    for (const Info &f : kFields)
        values_[f.field] = QString::fromLatin1(f.initial);
}

double Settings::number(Field field) const
{
    return text::numericValue(values_[field]);
}

void Settings::setText(Field field, const QString &value)
{
    if (values_[field] == value)
        return;
    values_[field] = value;
    emit changed(field);
}

void Settings::setCheck(Field field, bool on)
{
    setText(field, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void Settings::setDigiList(const QStringList &rows)
{
    if (digiList_ == rows)
        return;
    digiList_ = rows;
    emit digiListChanged();
}

void Settings::appendDigi(const QString &row)
{
    digiList_ << row;
    emit digiListChanged();
}

Settings::Added Settings::addDigi(const QString &typed)
{
    const QString row = digiRow(typed);
    if (row.isEmpty())
        return Added::Empty;
    if (digiList_.contains(row))
        return Added::AlreadyListed;
    appendDigi(row);
    return Added::Yes;
}

QString Settings::keyName(Field field)
{
    QString key = QString::fromLatin1(info(field).key);
    key.chop(1);
    return key;
}

} // namespace kestrel
