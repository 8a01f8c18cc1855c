#pragma once

#include <QObject>
#include <cstdio>

namespace kestrel {

class Gateway;

// Headless, writes what the window would show as it changes, one line each
// to standard output: a state text that changed, a row added to a list.
class HeadlessReporter : public QObject
{
    Q_OBJECT
public:
    HeadlessReporter(Gateway &gateway, std::FILE *out, QObject *parent = nullptr);

private:
    void print(const QString &line);
    std::FILE *out_;
    bool flushPending_ = false;
};

} // namespace kestrel
