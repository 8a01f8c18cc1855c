#pragma once

#include <QString>

namespace kestrel {

class Gateway;
struct MonitorText;

// The gateway's main job: each frame the host heard on RF is recorded in
// the MHeard list, shown by its position, and, when it passes the
// operator's filters and the link is up, sent to APRS-IS as a qAR line.
// Also the MHeard expiry and the DX text.
class RfGate
{
public:
    explicit RfGate(Gateway &gateway);

    // One new monitor text from the mailbox (Timer6).
    void pass(const QString &frame);
    // Drops stations not heard for MHExpTime hours (Timer7).
    void expiry();
    // The farthest station of the positions list.
    void recomputeDx();

    // An APRS-IS server drops longer lines, CR LF included.
    static constexpr qsizetype kMaxLine = 512;

private:
    void show(const MonitorText &m);
    void updateMHeard(const MonitorText &m, const QString &heardPath);
    bool gateable(const MonitorText &m);
    Gateway &g_;
};

} // namespace kestrel
