#pragma once

#include <QObject>
#include <array>

namespace kestrel {

// Why a frame or a line did not go on. Each rule that stops one has its own
// reason, counted, so an operator can see why a station was not gated.
enum class Refusal
{
    OwnCall,       // sent by this station
    OwnCallInPath, // this station is in the path: our own frame coming back
    ThirdParty,    // information field starts with "}"
    Disconnected,  // no link to APRS-IS
    Port,          // heard on a port that is not gated
    CallList,      // source not in the "Gate only these" list
    NotDirect,     // "Gate only Direct" and the frame came through a digipeater
    EmptyInformation,
    OverlongFrame,  // a monitor text no frame could produce
    MalformedFrame, // a monitor text without its "Fm", "To", "<" or "]"
    Query,          // a general query ("?"), answered on RF, never gated
    BeforeLogin,    // the server has not taken the login yet
    NoGate,         // NOGATE, RFONLY, TCPXX or qAX in the path
    LoopGuard,      // Internet-to-RF: the source was heard on RF, or our call is in the path
    TypeFilter,     // Internet-to-RF: the packet type is not chosen
    ServerComment,  // Internet-to-RF: a "#" line
    PortDisabled,   // Internet-to-RF: transmit port 0
    RateLimit,      // Internet-to-RF: packets per minute reached
    OverlongLine,   // a line from APRS-IS longer than the link takes
    ToOwnCall,      // Internet-to-RF: a message to this station, answered on APRS-IS
    Count
};

// The counts per reason.
class RefusalCounts : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    static const char *name(Refusal reason);
    // "Not gated (reason): count", as the operator reads it.
    QString line(Refusal reason) const;

    qint64 count(Refusal reason) const { return counts_[static_cast<std::size_t>(reason)]; }
    void add(Refusal reason);

signals:
    void counted(kestrel::Refusal reason, qint64 count);

private:
    std::array<qint64, static_cast<std::size_t>(Refusal::Count)> counts_{};
};

} // namespace kestrel
