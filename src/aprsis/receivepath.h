#pragma once

#include <QByteArray>

namespace kestrel {

class ActivityLog;
class AprsIsLink;
class InetToRfGate;
class MessageHandler;
class Settings;
class StateTexts;
class TextList;

// Everything the APRS-IS server sends, one whole line at a time: the login
// answer, the Internet packet list and its log, the count, the login
// sequence, and then Internet-to-RF gating and the message handler.
class ReceivePath
{
public:
    ReceivePath(const Settings &settings, StateTexts &texts, ActivityLog &log,
                TextList &internetList, AprsIsLink &link, InetToRfGate &inetRfGate,
                MessageHandler &messages);

    void handle(const QByteArray &line);

    // "List All Packets": every line from the server into the Internet list.
    bool listAllPackets() const { return listAllPackets_; }
    void setListAllPackets(bool on) { listAllPackets_ = on; }

private:
    const Settings &settings_;
    StateTexts &texts_;
    ActivityLog &log_;
    TextList &internetList_;
    AprsIsLink &link_;
    InetToRfGate &inetRfGate_;
    MessageHandler &messages_;
    bool listAllPackets_ = false;
};

} // namespace kestrel
