#pragma once

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpSocket>
#include <QtGlobal>

// The console of the emulator the Windows stage started on the Linux side, reached on the
// loopback port named in VORNEX_TEST_EMULATOR_CONSOLE: one command, its answer's lines.
class EmulatorConsole
{
public:
    static constexpr int AnswerWaitMs = 10000;

    bool Connect()
    {
        const quint16 port = quint16(qEnvironmentVariableIntValue("VORNEX_TEST_EMULATOR_CONSOLE"));
        if (port == 0)
            return false;
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(AnswerWaitMs);
    }

    // Empty when no answer came.
    QStringList Ask(const QString &command)
    {
        socket.write(command.toUtf8() + '\n');
        QByteArray answer;
        while (!answer.endsWith("\n\n") && !(answer == "\n")) {
            if (!socket.bytesAvailable() && !socket.waitForReadyRead(AnswerWaitMs))
                return {};
            answer += socket.readAll();
        }
        return QString::fromUtf8(answer).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The request log lines from number `from` on; `total` becomes the count of all so far.
    QStringList RequestsFrom(int from, int *total = nullptr)
    {
        QStringList lines = Ask(QStringLiteral("requests %1").arg(from));
        const int count =
            lines.isEmpty() ? 0 : lines.takeFirst().section(QLatin1Char(' '), 1).toInt();
        if (total != nullptr)
            *total = count;
        return lines;
    }

    int RequestCount()
    {
        int total = 0;
        RequestsFrom(INT_MAX, &total);
        return total;
    }

    // A number from the "show" answer, e.g. Shown("setpoints (\\d+) mV").
    int Shown(const QString &pattern)
    {
        const QRegularExpression expression(pattern);
        for (const QString &line : Ask(QStringLiteral("show"))) {
            const QRegularExpressionMatch match = expression.match(line);
            if (match.hasMatch())
                return match.captured(1).toInt();
        }
        return -1;
    }

    QString OutputState()
    {
        for (const QString &line : Ask(QStringLiteral("show"))) {
            const int at = line.indexOf(QStringLiteral("output "));
            if (at >= 0)
                return line.mid(at + 7).section(QLatin1Char(','), 0, 0);
        }
        return QString();
    }

private:
    QTcpSocket socket;
};
