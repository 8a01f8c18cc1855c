#pragma once

#include <QByteArray>
#include <QList>

namespace kestrel {

// Turns the bytes of a TCP stream into whole lines. TCP hands over bytes in
// any pieces: two lines may come in one read, one line in two. A line ends
// at LF (a CR before it is dropped, and so is a lone CR). A line longer than
// the limit is dropped whole and counted, however it arrives.
class LineAssembler
{
public:
    static constexpr qsizetype kMaxLine = 4096;

    // The lines completed by these bytes, without their line ends.
    QList<QByteArray> feed(const QByteArray &bytes);
    // Starts afresh, for a new connection.
    void reset();

    qint64 overlong() const { return overlong_; }

private:
    QByteArray partial_;
    bool discarding_ = false; // inside a line already too long
    qint64 overlong_ = 0;
};

} // namespace kestrel
