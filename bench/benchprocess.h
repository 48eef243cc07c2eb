#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Sets up a benchmark of the real window: the offscreen platform unless another was asked for,
// a settings store and a log journal folder of its own in config (the log dialog opens one, the
// log view journals every line), and the link's trace on
// standard output sent to /dev/null. Returns the stream the figures go to (the original output).
inline FILE *PrepareBenchProcess(const QTemporaryDir &config)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config.path().toLocal8Bit());
    FILE *figures = fdopen(dup(STDOUT_FILENO), "w");
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    return figures;
}

// Resident memory of this process, in KiB.
inline double ResidentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}
