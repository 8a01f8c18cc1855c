#pragma once

#include <QByteArray>

namespace kestrel {

class Gateway;

// Everything the APRS-IS server sends, one whole line at a time: the login
// answer, the Internet packet list and its log, the count, the login
// sequence, and then Internet-to-RF gating and the message handler.
class ReceivePath
{
public:
    explicit ReceivePath(Gateway &gateway);

    void handle(const QByteArray &line);

private:
    Gateway &g_;
};

} // namespace kestrel
