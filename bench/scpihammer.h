#pragma once

#include "benchclock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QTcpSocket>
#include <QVector>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

// What a run of busy clients saw: the round trip of every query, by client, and what went wrong.
// It travels from the clients' process to the server's as text: a header line, then one line of
// round trips in microseconds for each client.
struct HammerResult
{
    QVector<QVector<qint32>> roundTripsUs;
    int staleAnswers = 0;
    int droppedClients = 0;
    // CPU of the clients' process over its busy time, and that time, in seconds.
    double cpuSeconds = 0;
    double busySeconds = 0;

    void Write(FILE *to) const
    {
        std::fprintf(to, "stale %d dropped %d cpu %.6f busy %.6f\n", staleAnswers, droppedClients,
                     cpuSeconds, busySeconds);
        for (const QVector<qint32> &client : roundTripsUs) {
            for (int i = 0; i < client.size(); ++i)
                std::fprintf(to, i ? " %d" : "%d", int(client.at(i)));
            std::fputc('\n', to);
        }
        std::fflush(to);
    }

    static HammerResult Read(const QByteArray &text)
    {
        HammerResult result;
        QList<QByteArray> lines = text.split('\n');
        const QList<QByteArray> header = lines.takeFirst().split(' ');
        result.staleAnswers = header.value(1).toInt();
        result.droppedClients = header.value(3).toInt();
        result.cpuSeconds = header.value(5).toDouble();
        result.busySeconds = header.value(7).toDouble();
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (const QByteArray &line : lines) {
            QVector<qint32> client;
            for (const QByteArray &value : line.split(' ')) {
                if (!value.isEmpty())
                    client.append(value.toInt());
            }
            result.roundTripsUs.append(client);
        }
        return result;
    }
};

// N clients, each on a thread of its own as N separate scripts would be, each sending
// MEAS:VOLT? and waiting for its answer line before the next, for a given time from the moment
// the last of them has connected. On one shared event loop the clients would wait for each
// other, and the spread of the round trips would be largely their own.
class ScpiHammer
{
public:
    ScpiHammer(quint16 port, int clients, int seconds)
        : port(port), clients(clients), seconds(seconds)
    {
        result.roundTripsUs.resize(clients);
    }

    // Runs until the time is up and every client has had its last answer; false if not every
    // client could connect within five seconds.
    bool Run(HammerResult &out)
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i)
            threads.emplace_back([this, i] { Client(i); });
        bool allConnected = false;
        double cpuBefore = 0;
        QElapsedTimer busy;
        {
            std::unique_lock<std::mutex> lock(mutex);
            allConnected = changed.wait_for(lock, std::chrono::seconds(6), [this] {
                return connected + failed == clients;
            }) && failed == 0;
            cpuBefore = CpuSeconds();
            busy.start();
            deadline =
                std::chrono::steady_clock::now() + std::chrono::seconds(allConnected ? seconds : 0);
            released = true;
        }
        changed.notify_all();
        for (std::thread &thread : threads)
            thread.join();
        result.cpuSeconds = CpuSeconds() - cpuBefore;
        result.busySeconds = double(busy.nsecsElapsed()) / 1e9;
        out = result;
        return allConnected;
    }

private:
    void Client(int index)
    {
        QTcpSocket socket;
        std::chrono::steady_clock::time_point until;
        bool up = false;
        {
            // One at a time: Qt sets up its network types on the first connection of the
            // process and warns of a race when threads do it at once.
            std::unique_lock<std::mutex> lock(mutex);
            socket.connectToHost(QHostAddress::LocalHost, port);
            up = socket.waitForConnected(5000);
            if (up)
                socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            ++(up ? connected : failed);
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
            until = deadline;
        }
        QVector<qint32> roundTrips;
        int stale = 0;
        bool dropped = false;
        QElapsedTimer sent;
        while (up && !dropped && std::chrono::steady_clock::now() < until) {
            sent.start();
            socket.write("MEAS:VOLT?\n");
            socket.flush();
            while (!dropped && !socket.canReadLine())
                dropped = !socket.waitForReadyRead(2000);
            if (dropped)
                break;
            const QByteArray line = socket.readLine();
            roundTrips.append(qint32(sent.nsecsElapsed() / 1000));
            // The answer for a reading older than the server allows.
            if (line.startsWith("9.91E+37"))
                ++stale;
        }
        socket.abort();
        std::lock_guard<std::mutex> lock(mutex);
        result.roundTripsUs[index] = roundTrips;
        result.staleAnswers += stale;
        result.droppedClients += dropped ? 1 : 0;
    }

    const quint16 port;
    const int clients;
    const int seconds;
    std::mutex mutex;
    std::condition_variable changed;
    int connected = 0;
    int failed = 0;
    bool released = false;
    std::chrono::steady_clock::time_point deadline;
    HammerResult result;
};
