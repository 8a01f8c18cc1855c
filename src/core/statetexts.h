#pragma once

#include <QObject>
#include <QString>
#include <array>

namespace kestrel {

// The texts and counters the main window shows, held by the gateway whether
// or not a window exists.
class StateTexts : public QObject
{
    Q_OBJECT
public:
    enum Text
    {
        ConnectionState, // "DISCONNECTED", "Connecting ...", "CONNECTED to: ...", "CONNECTED TO:
                         // ..."
        WebServerState,  // "WEB SERVER OFF" / "WEB SERVER ON"
        OwnCallText,     // "CallSign:" and the own call
        DxText,          // the farthest station
        InetToRfStatus,  // Internet-to-RF status line
        LastStation,     // the station heard last
        MicELine,        // course, speed and status of the last Mic-E station
        IssCaption,      // "ISS Position Object", "+" in front while it runs every minute
        IssObject,       // the ISS object as built
        IssLine,         // distance, azimuth and elevation of the ISS
        Connections,     // the Connections counter
        ConnectCaption,  // "Connect" / "Disconnect"
        FilterDisplay,   // the APRS-IS filter as loaded at start-up
        HostStatus,      // what the host last said of itself
        NextPass,        // the next pass of a followed satellite
        Passes,          // every pass of the coming day, one a line
        LastPass,        // the report of the last pass
        TextCount
    };
    Q_ENUM(Text)

    enum Counter
    {
        RfToInet,
        InetToRf,
        RfRx,
        RfTx,
        InetTx,
        InetRx,
        CounterCount
    };
    Q_ENUM(Counter)

    explicit StateTexts(QObject *parent = nullptr);

    QString text(Text t) const { return texts_[t]; }
    void set(Text t, const QString &value);

    qint64 count(Counter c) const { return counters_[c]; }
    void bump(Counter c);
    void setCount(Counter c, qint64 value);

    // Names as the operator reads them: the control's caption or frame.
    static QString name(Text t);
    static QString name(Counter c);

signals:
    void textChanged(kestrel::StateTexts::Text t, const QString &value);
    void counterChanged(kestrel::StateTexts::Counter c, qint64 value);

private:
    std::array<QString, TextCount> texts_;
    std::array<qint64, CounterCount> counters_{};
};

} // namespace kestrel
