#pragma once

#include <QString>

namespace kestrel {

class Gateway;

// Messages from APRS-IS addressed to the own call: acknowledged on APRS-IS,
// logged, and answered with a fixed text when the operator wants. Nothing
// here goes to RF.
class MessageHandler
{
public:
    explicit MessageHandler(Gateway &gateway);

    // Examines TrimmedData, the line just received.
    void handle();

    // Whom a line is addressed to as a message: the nine characters after
    // its first "::", without their padding; empty when it has none.
    static QString addressee(const QString &line);

    QString TrimmedData; // the line to examine
    QString trama_vieja; // the last line accepted for examination
    bool traba = false;  // busy with a message to the gateway

private:
    Gateway &g_;
};

} // namespace kestrel
