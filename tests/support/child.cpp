#include "support/child.h"

#include <csignal>
#include <sys/types.h>

QString programUnderTest(const char *variable)
{
    return qEnvironmentVariable(variable);
}

Child::Child(const QString &program, const QStringList &args, const QString &runAs)
{
    if (runAs.isEmpty())
        p.start(program, args);
    else
        p.start(QStringLiteral("setpriv"),
                QStringList{"--reuid=" + runAs, "--regid=" + runAs, "--clear-groups", program} +
                    args);
    p.waitForStarted();
}

Child::~Child()
{
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(3000);
    }
}

QByteArray Child::out()
{
    out_ += p.readAllStandardOutput();
    return out_;
}

QByteArray Child::err()
{
    err_ += p.readAllStandardError();
    return err_;
}

void Child::signal(int number)
{
    ::kill(static_cast<pid_t>(p.processId()), number);
}

int Child::finish(int ms)
{
    if (!p.waitForFinished(ms))
        return -1;
    out();
    err();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}
