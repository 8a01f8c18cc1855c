#pragma once

// Each benchmark prints its own figures; its main ones also go, one line
// each, to the file named by BENCH_SUMMARY when that is set, so that
// `./run bench` ends with one table of them all (bench/table.sh).
// A line: benchmark, figure, value, target, separated by tabs.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstring>

// --help: the usage on standard output; the caller then ends with status 0.
inline bool benchHelp(int argc, char **argv, const char *usage)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
    return false;
}

inline void benchSummary(const char *bench, const char *figure, const QString &value,
                         const char *target = "")
{
    const QByteArray path = qgetenv("BENCH_SUMMARY");
    if (path.isEmpty())
        return;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(QByteArray(bench) + '\t' + figure + '\t' + value.toUtf8() + '\t' + target + '\n');
}
