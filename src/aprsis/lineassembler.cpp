#include "aprsis/lineassembler.h"

namespace kestrel {

QList<QByteArray> LineAssembler::feed(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (!discarding_) {
            partial_.append(bytes.constData() + start, end - start);
            if (partial_.size() > kMaxLine) {
                partial_.clear();
                discarding_ = true;
                ++overlong_;
            }
        }
        if (end == n)
            break;
        // A line end: CR LF, LF or a lone CR. An empty line is no line.
        if (!discarding_ && !partial_.isEmpty())
            lines << partial_;
        partial_.clear();
        discarding_ = false;
        start = end + 1;
    }
    return lines;
}

void LineAssembler::reset()
{
    partial_.clear();
    discarding_ = false;
}

} // namespace kestrel
