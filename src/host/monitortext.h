#pragma once

#include <QString>
#include <optional>

namespace kestrel {

// The host's one-text form of a received frame:
//   " 1:Fm N1ABC-7 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=12 >[14:02:11]\r>text"
struct MonitorText
{
    int port = 0; // the number the text starts with; 0 when none
    QString source;
    QString destination;
    QString via;         // ",N1DIG*,WIDE2-1": a comma in front; empty when heard direct
    QString header;      // up to and including the first "]"
    QString information; // after the header, without carriage returns, cut at a line feed
    bool hasVia = false;

    // Takes the fields; nothing when the text lacks "Fm", "To", "<" or "]"
    // where they must be.
    static std::optional<MonitorText> parse(const QString &text);

    // "SRC>DEST,PATH:information"
    QString frameLine() const;
};

} // namespace kestrel
