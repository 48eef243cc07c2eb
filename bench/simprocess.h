#pragma once

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <unistd.h>

// The emulator program `vornex-sim` as a child process, so that its CPU time stays out of the
// panel's own figures. Its request log goes to a file and is read only when asked for, so that
// collecting it costs the panel nothing while it is being measured.
class SimProcess
{
public:
    struct Request
    {
        double timeS = 0;
        int registerCode = 0;
        int operationCode = 0;
    };

    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(2000))
                process.kill();
            process.waitForFinished(2000);
        }
    }

    // Starts the program and returns the serial end it opened, empty on failure.
    QString start(const QStringList &arguments)
    {
        process.setStandardErrorFile(dir.filePath(QStringLiteral("requests.log")));
        process.start(QStringLiteral(VORNEX_SIM_PATH), arguments);
        if (!process.waitForStarted(5000))
            return {};
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(5000))
                return {};
        }
        return QString::fromLocal8Bit(process.readLine()).trimmed().section(QLatin1Char(' '), 0, 0);
    }

    // A run-time command such as "fault silent"; the emulator's answer is not waited for.
    void command(const QString &line)
    {
        process.write(line.toLocal8Bit() + '\n');
        process.waitForBytesWritten(1000);
    }

    QVector<Request> requests() const
    {
        QVector<Request> out;
        QFile file(dir.filePath(QStringLiteral("requests.log")));
        if (!file.open(QIODevice::ReadOnly))
            return out;
        static const QRegularExpression pattern(
            QStringLiteral("^\\s*([0-9.]+) s  #([0-9A-F]{2})([0-9A-F]{2})"));
        while (!file.atEnd()) {
            const QRegularExpressionMatch match =
                pattern.match(QString::fromLatin1(file.readLine()));
            if (match.hasMatch())
                out.append({match.captured(1).toDouble(), match.captured(2).toInt(nullptr, 16),
                            match.captured(3).toInt(nullptr, 16)});
        }
        return out;
    }

    // User plus system time of the child so far, from /proc.
    double cpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return 0;
        const QString text = QString::fromLatin1(stat.readAll());
        // Fields after the command name, which is in parentheses and may contain spaces.
        const QStringList fields =
            text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        return ticks / double(::sysconf(_SC_CLK_TCK));
    }

private:
    QTemporaryDir dir;
    QProcess process;
};
