#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

namespace kestrel {

// The operator's settings, one field per key of kestrel.ini, plus the
// station identity taken from the host. Every part of the gateway reads a
// field at the moment it needs it, so an edit takes effect at its next use.
class Settings : public QObject
{
    Q_OBJECT
public:
    enum Field
    {
        // [APRS-IS]
        AprsIsHost,
        AprsIsPort,
        ValidationNumber,
        AprsFilter,
        ProxyYesNo,
        ProxyAddress,
        AutoYesNo,
        // [Inet TX]
        InetBeacon,
        DishSymbol,
        Interval,
        StatusText,
        AddDx,
        SendBull,
        BulletinText,
        AnswerYesNo,
        AnswerText,
        // [IGATE], after the digipeater list
        GateOnlyDirect,
        DigiAll,
        RfPortIGate,
        OnlyDirect,
        MHExpTime,
        IGateRfPort,
        PacketsMin,
        UnprotoPath,
        TypeAll,
        TypeMessage,
        TypeBulletin,
        TypePosition,
        // [MISCELANEOUS]
        RunZeno,
        CloseZeno,
        LogIGated,
        LogAprsIs,
        LogServConn,
        LogMsgs,
        LogInetRf,
        WebServerYesNo,
        WebServerPort,
        WebComments,
        LogVisits,
        IssObject,
        IssObjectOnly,
        // Station identity: filled at start-up, never written to the file.
        OwnCall,
        HostBeaconText,
        InternetBeaconText,
        FieldCount
    };
    Q_ENUM(Field)

    enum class Kind
    {
        Text,
        Check,
        Choice,
        Identity
    };

    struct Info
    {
        Field field;
        const char *key; // as written in kestrel.ini, "=" included
        Kind kind;
        int maxLength;       // the longest text the file reader takes
        const char *initial; // before the file is read
    };
    static const Info &info(Field field);

    explicit Settings(QObject *parent = nullptr);

    QString text(Field field) const { return values_[field]; }
    // A check field is on when it holds 1.
    bool isOn(Field field) const { return values_[field] == QLatin1String("1"); }
    // The numeric value of a text or choice field, read leniently.
    double number(Field field) const;

    void setText(Field field, const QString &value);
    void setCheck(Field field, bool on);

    // "Gate only these": the call signs whose frames are gated when
    // DIGI All is off.
    const QStringList &digiList() const { return digiList_; }
    void setDigiList(const QStringList &rows);
    void appendDigi(const QString &row);
    // The operator's ">> Add >>": trimmed and upper-cased, once.
    enum class Added
    {
        Yes,
        Empty,
        AlreadyListed
    };
    Added addDigi(const QString &typed);
    // The list row of a call sign as it is added.
    static QString digiRow(const QString &typed) { return typed.trimmed().toUpper(); }

    // Key name without its "=", for messages.
    static QString keyName(Field field);

signals:
    void changed(kestrel::Settings::Field field);
    void digiListChanged();

private:
    std::array<QString, FieldCount> values_;
    QStringList digiList_;
};

} // namespace kestrel
