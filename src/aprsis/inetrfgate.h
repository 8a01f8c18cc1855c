#pragma once

#include <QString>

namespace kestrel {

class Gateway;

// Puts chosen APRS-IS traffic back on the air through the host, in the
// form for traffic relayed on behalf of another station (":}" and the
// received line), under a packets-per-minute limit. Owns the link's
// one-second clock: the rate window, the status line and the countdown to
// the next announcement.
class InetToRfGate
{
public:
    explicit InetToRfGate(Gateway &gateway);

    enum class Outcome
    {
        GoOn,
        TypeRejected
    };
    // One line from APRS-IS; `dataType` is the character after its first
    // ":" (its first character when it has none).
    Outcome gate(const QString &chunk, QChar dataType);

    // Timer2, every second while the link runs.
    void clockTick();

    qint16 Tiempo_Gate = 0; // seconds into the current rate window
    qint16 paquete = 0;     // packets counted against the limit in it

private:
    bool loopsBack(const QString &chunk) const;
    void tick(int &stage);
    Gateway &g_;
};

} // namespace kestrel
