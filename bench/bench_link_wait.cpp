// CPU cost of the link's reply wait, against a literal busy-poll wait measured in the same run,
// and the delay from a reply's last byte leaving the converter to GetLine returning.
//
// usage: bench_link_wait [seconds-per-case, default 30] [busy-poll seconds, default 5]

#include "link/devicelink.h"
#include "link/framecodec.h"
#include "sim/converteremulator.h"
#include "sim/pseudoterminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

FILE *results = stderr;

double Now(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The wait as first designed: poll the port between event batches without ever sleeping.
bool BusyPollGetLine(DeviceLink &link, QByteArray &line, int timeoutMs)
{
    QElapsedTimer stopwatch;
    stopwatch.start();
    line.clear();
    for (;;) {
        QCoreApplication::processEvents();
        if (stopwatch.elapsed() > timeoutMs)
            return false;
        if (link.ReadChunk(line))
            return true;
    }
}

bool BusyPollStatusRead(DeviceLink &link)
{
    QByteArray line;
    for (int attempt = 0; attempt < 2; ++attempt) {
        link.SendFrame(0x01, 0x01, nullptr, 0);
        if (BusyPollGetLine(link, line, 200))
            return true;
    }
    return false;
}

struct Measurement
{
    double cpuPercent = 0;
    int transactions = 0;
    int successes = 0;
};

// CPU of this thread only: the emulator runs on a thread of its own.
Measurement Measure(double seconds, const std::function<bool()> &transaction)
{
    Measurement m;
    const double cpuStart = Now(CLOCK_THREAD_CPUTIME_ID);
    const double wallStart = Now(CLOCK_MONOTONIC);
    double wall = 0;
    while ((wall = Now(CLOCK_MONOTONIC) - wallStart) < seconds) {
        m.successes += transaction();
        ++m.transactions;
    }
    m.cpuPercent = 100.0 * (Now(CLOCK_THREAD_CPUTIME_ID) - cpuStart) / wall;
    return m;
}

bool OpenPort(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.setBaudRate(9200); // a pseudo-terminal may refuse; the bytes flow anyway
    return true;
}

// Answers every request at once with a status reply and notes when its last byte went out.
class TimedResponder
{
public:
    bool Start()
    {
        if (!terminal.open())
            return false;
        worker = std::thread([this] { Serve(); });
        return true;
    }
    void Stop()
    {
        stop = true;
        worker.join();
    }
    QString Path() const { return terminal.slavePath(); }
    double LastReplySent() const { return lastSent.load(); }

private:
    void Serve()
    {
        const QByteArray reply = "^0108D2043702000001015F58\r";
        pollfd fd{terminal.master(), POLLIN, 0};
        char buffer[256];
        while (!stop) {
            if (poll(&fd, 1, 50) <= 0)
                continue;
            const ssize_t count = read(terminal.master(), buffer, sizeof buffer);
            if (count <= 0 ||
                !std::any_of(buffer, buffer + count, [](char c) { return c == '\r'; }))
                continue;
            lastSent = Now(CLOCK_MONOTONIC); // just before: an upper bound on the delay
            if (write(terminal.master(), reply.constData(), size_t(reply.size())) < 0)
                return;
        }
    }

    PseudoTerminal terminal;
    std::thread worker;
    std::atomic<bool> stop{false};
    std::atomic<double> lastSent{0};
};

void Report(const char *name, const Measurement &wait, const Measurement &busy)
{
    std::fprintf(results,
                 "%-28s  event-loop wait %7.3f %% of a core (%d transactions, %d with a reply)\n"
                 "%-28s  busy-poll wait  %7.3f %% of a core (%d transactions, %d with a reply)\n"
                 "%-28s  ratio busy / event-loop: %.0fx\n",
                 name, wait.cpuPercent, wait.transactions, wait.successes, "", busy.cpuPercent,
                 busy.transactions, busy.successes, "",
                 busy.cpuPercent / std::max(wait.cpuPercent, 1e-6));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 30;
    const double busySeconds = argc > 2 ? QByteArray(argv[2]).toDouble() : 5;

    // The link traces every line to standard output; keep that out of the results.
    results = fdopen(dup(STDOUT_FILENO), "w");
    if (!results || !std::freopen("/dev/null", "w", stdout))
        return 1;

    QThread emulatorThread;
    auto *emulator = new ConverterEmulator;
    emulator->moveToThread(&emulatorThread);
    QObject::connect(&emulatorThread, &QThread::finished, emulator, &QObject::deleteLater);
    emulatorThread.start();
    QString error;
    if (!emulator->start(&error)) {
        std::fprintf(results, "emulator: %s\n", qPrintable(error));
        return 1;
    }

    QSerialPort port;
    if (!OpenPort(port, emulator->serialPath())) {
        std::fprintf(results, "cannot open %s\n", qPrintable(emulator->serialPath()));
        return 1;
    }
    DeviceLink link;
    link.SetPort(&port);
    OutputStatus status;
    const auto linkRead = [&] { return link.GetStatus(status) == Success; };
    const auto busyRead = [&] { return BusyPollStatusRead(link); };

    std::fprintf(results, "CPU time of the link's thread, %.0f s per case (busy poll %.0f s)\n",
                 seconds, busySeconds);
    FaultSettings silent;
    silent.silent = true;
    emulator->setFaults(silent);
    const Measurement silentWait = Measure(seconds, linkRead);
    const Measurement silentBusy = Measure(busySeconds, busyRead);
    Report("(a) silent port", silentWait, silentBusy);

    emulator->clearFaults();
    const Measurement answeredWait = Measure(seconds, linkRead);
    const Measurement answeredBusy = Measure(busySeconds, busyRead);
    Report("(b) emulator answering", answeredWait, answeredBusy);
    std::fflush(results);

    emulator->stop();
    emulatorThread.quit();
    emulatorThread.wait();

    TimedResponder responder;
    QSerialPort timedPort;
    if (!responder.Start() || !OpenPort(timedPort, responder.Path())) {
        std::fprintf(results, "cannot start the timed responder\n");
        return 1;
    }
    link.SetPort(&timedPort);
    std::vector<double> delaysUs;
    QByteArray line;
    for (int i = 0; i < 2000; ++i) {
        link.SendFrame(0x01, 0x01, nullptr, 0);
        if (!link.GetLine(line, 200))
            continue;
        delaysUs.push_back((Now(CLOCK_MONOTONIC) - responder.LastReplySent()) * 1e6);
    }
    responder.Stop();
    if (delaysUs.empty()) {
        std::fprintf(results, "no replies reached the link\n");
        return 1;
    }
    std::sort(delaysUs.begin(), delaysUs.end());
    std::fprintf(results,
                 "reply detection (last byte written -> GetLine returns), %zu replies: "
                 "median %.0f us, 99th percentile %.0f us\n",
                 delaysUs.size(), delaysUs[delaysUs.size() / 2],
                 delaysUs[std::min(delaysUs.size() - 1, delaysUs.size() * 99 / 100)]);
    return 0;
}
