#pragma once

#include <QObject>
#include <QStringList>
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

    // Whether the terminal's locale wants UTF-8 (else each character goes out
    // as its Latin-1 byte, as the station's files hold it).
    static bool localeIsUtf8();

private:
    void print(const QString &line);
    std::FILE *out_;
    bool utf8_ = localeIsUtf8();
    bool flushPending_ = false;
    QString inetToRf_;   // the Internet-to-RF line as last printed, its seconds aside
    QStringList passes_; // the day's passes as last printed
};

} // namespace kestrel
