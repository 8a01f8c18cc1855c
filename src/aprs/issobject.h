#pragma once

#include "aprs/position.h"

#include <QByteArray>
#include <QTime>
#include <optional>

namespace kestrel::iss {

// The position of the ISS from a look-up page: the first line holding
// "Raw packet:", in it the ISS object's field "ddmm.mmN\dddmm.mmW".
// Nothing, with the reason in `why`, when the page has no such position.
std::optional<position::Text> positionFromPage(const QByteArray &page, QString *why = nullptr);

// The object as sent, ";ISS      *HHMMSSh" and the position, and the form
// shown in the window, with a space before the latitude and after the symbol.
QString objectText(const position::Text &p, QTime utc);
QString displayText(const position::Text &p, QTime utc);

// "100km/62mi Az:45º El:-3º"
QString line(double km, int azimuth, int elevation);

} // namespace kestrel::iss
