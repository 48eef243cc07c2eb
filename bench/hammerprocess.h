#pragma once

#include "scpihammer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// This program started again in its client mode (`--clients N --port P --seconds S`), so that
// the clients' CPU time stays out of the server's figures. Like SimProcess it is a plain child
// process rather than a QProcess, whose pipes would join the server's event loop; its result is
// read from its standard output only once its clients have gone.
class HammerProcess
{
public:
    HammerProcess() = default;
    HammerProcess(const HammerProcess &) = delete;
    HammerProcess &operator=(const HammerProcess &) = delete;

    ~HammerProcess()
    {
        if (resultFd >= 0)
            ::close(resultFd);
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }

    bool start(quint16 port, int clients, int seconds)
    {
        int fromChild[2];
        if (::pipe2(fromChild, O_CLOEXEC) != 0)
            return false;
        QList<QByteArray> argumentBytes{
            QFile::encodeName(QCoreApplication::applicationFilePath()),
            QByteArrayLiteral("--clients"),
            QByteArray::number(clients),
            QByteArrayLiteral("--port"),
            QByteArray::number(port),
            QByteArrayLiteral("--seconds"),
            QByteArray::number(seconds),
        };
        std::vector<char *> argv;
        for (QByteArray &argument : argumentBytes)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        const int spawned =
            ::posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fromChild[1]);
        resultFd = fromChild[0];
        if (spawned != 0)
            pid = -1;
        return spawned == 0;
    }

    // Reads the result to its end and reaps the process; nothing when it failed or wrote
    // nothing for timeoutMs.
    std::optional<HammerResult> finish(int timeoutMs)
    {
        QByteArray text;
        for (;;) {
            pollfd ready{resultFd, POLLIN, 0};
            if (::poll(&ready, 1, timeoutMs) <= 0)
                return std::nullopt;
            char buffer[65536];
            const ssize_t count = ::read(resultFd, buffer, sizeof buffer);
            if (count < 0)
                return std::nullopt;
            if (count == 0)
                break;
            text.append(buffer, int(count));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.isEmpty())
            return std::nullopt;
        return HammerResult::Read(text);
    }

private:
    pid_t pid = -1;
    int resultFd = -1;
};
