#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The emulator program `vornex-sim` as a child process, so that its CPU time stays out of the
// panel's own figures. It is started without QProcess: QProcess would add its pipes and child
// watch to the panel's event loop, and every poll of that loop would pay for them. Its request
// log goes to a file and is read only when asked for, so that collecting it costs the panel
// nothing while it is being measured.
class SimProcess
{
public:
    struct Request
    {
        double timeS = 0;
        int registerCode = 0;
        int operationCode = 0;
    };

    SimProcess() = default;
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    ~SimProcess()
    {
        if (commandFd >= 0)
            ::close(commandFd);
        if (portLineFd >= 0)
            ::close(portLineFd);
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // Starts the program and returns the serial end it opened, empty on failure.
    QString start(const QStringList &arguments)
    {
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0)
            return {};
        if (::pipe2(fromChild, O_CLOEXEC) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return {};
        }
        const QByteArray program = QByteArrayLiteral(VORNEX_SIM_PATH);
        const QByteArray requestLog =
            QFile::encodeName(dir.filePath(QStringLiteral("requests.log")));
        QList<QByteArray> argumentBytes{program};
        for (const QString &argument : arguments)
            argumentBytes.append(argument.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &argument : argumentBytes)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, requestLog.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int spawned =
            ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        commandFd = toChild[1];
        portLineFd = fromChild[0];
        if (spawned != 0) {
            pid = -1;
            return {};
        }
        // The first line names the serial end; the read end stays open (and unread) so that
        // the emulator can go on writing to its standard output.
        QByteArray line;
        while (!line.contains('\n')) {
            pollfd ready{portLineFd, POLLIN, 0};
            char buffer[256];
            if (::poll(&ready, 1, 5000) <= 0)
                return {};
            const ssize_t count = ::read(portLineFd, buffer, sizeof buffer);
            if (count <= 0)
                return {};
            line.append(buffer, int(count));
        }
        return QString::fromLocal8Bit(line.left(line.indexOf('\n')))
            .trimmed()
            .section(QLatin1Char(' '), 0, 0);
    }

    // A run-time command such as "fault silent"; the emulator's answer is not waited for.
    void command(const QString &line)
    {
        const QByteArray bytes = line.toLocal8Bit() + '\n';
        if (commandFd >= 0 && ::write(commandFd, bytes.constData(), size_t(bytes.size())) < 0)
            std::perror("vornex-sim command");
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
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
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
    pid_t pid = -1;
    int commandFd = -1;
    int portLineFd = -1;
};
