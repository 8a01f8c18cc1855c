#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// The program under test, as ctest names it (KESTREL_BIN, ZENO_HOST_BIN).
QString programUnderTest(const char *variable);

// A child process whose output is collected as it comes. With `runAs`, it
// runs as that user id (and group id) by way of setpriv.
class Child
{
public:
    Child(const QString &program, const QStringList &args, const QString &runAs = {});
    ~Child();

    QByteArray out();
    QByteArray err();
    void signal(int number);
    // Exit status, -1 when it did not end within the time, -2 when it crashed.
    int finish(int ms = 5000);

    QProcess p;

private:
    QByteArray out_, err_;
};
