#pragma once

#include <QString>

namespace kestrel {

class ActivityLog;
class AprsIsLink;
class Clock;
class Settings;
class StateTexts;
class TextList;

// Messages from APRS-IS addressed to the own call: acknowledged on APRS-IS,
// logged, and answered with a fixed text when the operator wants. Nothing
// here goes to RF.
class MessageHandler
{
public:
    MessageHandler(const Settings &settings, StateTexts &texts, ActivityLog &log, Clock &clock,
                   TextList &internetList, AprsIsLink &link);

    // Examines a line just received.
    void handle(const QString &line);

    // Whom a line is addressed to as a message: the nine characters after
    // its first "::", without their padding; empty when it has none.
    static QString addressee(const QString &line);

private:
    const Settings &settings_;
    StateTexts &texts_;
    ActivityLog &log_;
    Clock &clock_;
    TextList &internetList_;
    AprsIsLink &link_;
    QString lastExamined_; // a repeat of it is not answered twice
};

} // namespace kestrel
