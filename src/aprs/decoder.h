#pragma once

#include "aprs/position.h"

#include <QString>
#include <optional>

// What one RF frame says about its station's position, for the display:
// the kind of packet by its data type identifier, and the position where
// the kind carries one. It decides nothing about gating. Values in, values
// out; a frame too short for its format simply gives no position.
namespace kestrel::decoder {

enum class Kind
{
    None,
    Position, // "!" or "=", uncompressed
    Object,   // ";"
    Nmea,     // "$": a GPS sentence
    Message,  // ":"
    Weather,  // "@"
    MicE      // the grave accent
};

struct Result
{
    Kind kind = Kind::None;
    QString source;
    position::Text position;  // latitud_APRS and longitud_APRS; empty when none
    bool compressed = false;  // taken as a compressed position
    bool timeStamped = false; // the position came after a time stamp
    std::optional<QString> micELine;
    // The position stands: it is neither missing nor all zeros.
    bool accepted() const;
};

// `frameLine` is "SRC>DEST,PATH:information"; `via` the digipeater path as
// the frame carried it ("*" marks a digipeater that repeated it).
Result decode(const QString &frameLine, const QString &via, bool onlyDirect);

} // namespace kestrel::decoder
