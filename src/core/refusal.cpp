#include "core/refusal.h"

namespace kestrel {

const char *RefusalCounts::name(Refusal reason)
{
    switch (reason) {
    case Refusal::OwnCall:
        return "own call";
    case Refusal::OwnCallInPath:
        return "own call in path";
    case Refusal::ThirdParty:
        return "third party";
    case Refusal::Disconnected:
        return "disconnected";
    case Refusal::Port:
        return "port";
    case Refusal::CallList:
        return "call-sign list";
    case Refusal::NotDirect:
        return "not direct";
    case Refusal::EmptyInformation:
        return "empty information";
    case Refusal::OverlongFrame:
        return "overlong frame";
    case Refusal::MalformedFrame:
        return "malformed frame";
    case Refusal::Query:
        return "query";
    case Refusal::BeforeLogin:
        return "before login";
    case Refusal::NoGate:
        return "NOGATE";
    case Refusal::LoopGuard:
        return "loop guard";
    case Refusal::TypeFilter:
        return "type filter";
    case Refusal::ServerComment:
        return "server comment";
    case Refusal::PortDisabled:
        return "transmit port off";
    case Refusal::RateLimit:
        return "rate limit";
    case Refusal::OverlongLine:
        return "overlong line";
    case Refusal::ToOwnCall:
        return "to own call";
    case Refusal::Count:
        break;
    }
    return "?";
}

QString RefusalCounts::line(Refusal reason) const
{
    return QStringLiteral("Not gated (%1): %2")
        .arg(QString::fromLatin1(name(reason)))
        .arg(count(reason));
}

void RefusalCounts::add(Refusal reason)
{
    qint64 &n = counts_[static_cast<std::size_t>(reason)];
    ++n;
    emit counted(reason, n);
}

} // namespace kestrel
