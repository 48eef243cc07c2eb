// The SCPI server under load: the round trip of MEAS:VOLT? with one client and with eight that
// query as fast as their answers come, and what eight such clients cost the panel: its poll
// period and the CPU of the process that holds the session and the server, against the same
// process with no client. The session talks to the emulator program at 9200 baud; the clients
// run in a second copy of this program, so that this process's CPU is the panel side's alone.
//
//     bench_scpi [seconds per phase, default 10]
//     bench_scpi --clients N --port P --seconds S   (the clients' side, on its own)

#include "benchclock.h"
#include "benchprocess.h"
#include "hammerprocess.h"
#include "remote/scpiserver.h"
#include "scpihammer.h"
#include "session/devicesession.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/resource.h>

namespace {

constexpr int statusRegister = 0x01;
constexpr int adcRegister = 0x10;
// The server process's window starts this long after the last client is accepted and ends as
// long before the clients stop, so that it lies wholly inside their busy time.
constexpr int settleMs = 250;

struct Spread
{
    double median = 0;
    double p99 = 0;
    double max = 0;
    int count = 0;
};

Spread SpreadOf(QVector<double> values)
{
    Spread s;
    s.count = values.size();
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const auto rank = [&values](double q) {
        return values.at(qBound(0, int(std::ceil(q * values.size())) - 1, values.size() - 1));
    };
    s.median = rank(0.5);
    s.p99 = rank(0.99);
    s.max = values.last();
    return s;
}

double Ratio(double value, double baseline)
{
    return baseline > 0 ? value / baseline : 0.0;
}

// Runs the event loop until done() holds after one of sender's signal, or ms have passed.
template <typename Sender, typename Signal, typename Done>
bool WaitFor(Sender *sender, Signal signal, Done done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    loop.exec();
    return done();
}

// The panel side: the session, the server on it, and when each tick ended.
struct Panel
{
    DeviceSession session;
    ScpiServer server{&session};
    QElapsedTimer clock;
    QVector<qint64> tickNs;
    int failedReads = 0;

    Panel()
    {
        clock.start();
        session.SetTrace(nullptr);
        QObject::connect(&session, &DeviceSession::tickDone,
                         [this] { tickNs.append(clock.nsecsElapsed()); });
        QObject::connect(&session, &DeviceSession::readFailed, [this] { ++failedReads; });
    }
};

struct Window
{
    double cpuPercent = 0;
    double wakesPerSecond = 0;
    double residentStartKiB = 0;
    double residentEndKiB = 0;
    int failedReads = 0;
    Spread tick;
    Spread deviceTick;
};

// Intervals between the status and ADC reads the emulator received; the first may straddle the
// window's start.
QVector<double> DeviceIntervals(const QVector<SimProcess::Request> &requests)
{
    QVector<double> gaps;
    double previous = -1;
    for (const SimProcess::Request &r : requests) {
        if (r.registerCode != statusRegister && r.registerCode != adcRegister)
            continue;
        if (previous >= 0)
            gaps.append((r.timeS - previous) * 1000.0);
        previous = r.timeS;
    }
    if (!gaps.isEmpty())
        gaps.removeFirst();
    return gaps;
}

Window Measure(Panel &panel, SimProcess &sim, int ms)
{
    Window w;
    const int requestsBefore = sim.requests().size();
    const int failedBefore = panel.failedReads;
    w.residentStartKiB = ResidentKiB();
    const qint64 startNs = panel.clock.nsecsElapsed();
    const double cpuBefore = CpuSeconds();
    const long wakesBefore = Wakes();
    RunFor(ms);
    const double seconds = double(panel.clock.nsecsElapsed() - startNs) / 1e9;
    w.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / seconds;
    w.wakesPerSecond = double(Wakes() - wakesBefore) / seconds;
    w.residentEndKiB = ResidentKiB();
    w.failedReads = panel.failedReads - failedBefore;
    QVector<double> ticks;
    for (int i = 1; i < panel.tickNs.size(); ++i) {
        if (panel.tickNs.at(i - 1) >= startNs)
            ticks.append(double(panel.tickNs.at(i) - panel.tickNs.at(i - 1)) / 1e6);
    }
    w.tick = SpreadOf(ticks);
    w.deviceTick = SpreadOf(DeviceIntervals(sim.requests().mid(requestsBefore)));
    return w;
}

struct LoadPhase
{
    Window window;
    HammerResult clients;
};

std::optional<LoadPhase> MeasureUnderLoad(Panel &panel, SimProcess &sim, int clients, int seconds)
{
    HammerProcess hammer;
    if (!hammer.start(panel.server.Port(), clients, seconds))
        return std::nullopt;
    const auto count = [&panel] { return panel.server.ClientCount(); };
    if (!WaitFor(
            &panel.server, &ScpiServer::statusChanged, [&] { return count() == clients; }, 10000))
        return std::nullopt;
    RunFor(settleMs);
    LoadPhase phase;
    phase.window = Measure(panel, sim, seconds * 1000 - 2 * settleMs);
    if (!WaitFor(
            &panel.server, &ScpiServer::statusChanged, [&] { return count() == 0; },
            seconds * 1000 + 10000))
        return std::nullopt;
    std::optional<HammerResult> result = hammer.finish(10000);
    if (!result)
        return std::nullopt;
    phase.clients = *result;
    return phase;
}

void PrintRoundTrip(FILE *out, const char *title, const HammerResult &r)
{
    QVector<double> all;
    int fewest = -1;
    int most = 0;
    for (const QVector<qint32> &client : r.roundTripsUs) {
        for (qint32 us : client)
            all.append(us / 1000.0);
        fewest = fewest < 0 ? client.size() : qMin(fewest, client.size());
        most = qMax(most, client.size());
    }
    const Spread s = SpreadOf(all);
    std::fprintf(out,
                 "  %-10s median %.3f ms   p99 %.3f ms   max %.1f ms   %d queries, %.0f a second "
                 "(%d to %d a client)\n",
                 title, s.median, s.p99, s.max, s.count, s.count / qMax(1e-9, r.busySeconds),
                 fewest, most);
    std::fprintf(out,
                 "  %-10s stale answers %d, clients dropped %d, the clients' own process %.0f %% "
                 "of one core\n",
                 "", r.staleAnswers, r.droppedClients,
                 100.0 * r.cpuSeconds / qMax(1e-9, r.busySeconds));
}

void PrintSpread(FILE *out, const char *title, const Spread &s, const Spread &idle)
{
    std::fprintf(out,
                 "  %-10s median %6.1f ms   p99 %6.1f ms   max %6.1f ms   (%d intervals; "
                 "p99 %.2fx idle)\n",
                 title, s.median, s.p99, s.max, s.count, Ratio(s.p99, idle.p99));
}

void PrintWindow(FILE *out, const char *title, const Window &w, const Window &idle)
{
    std::fprintf(out,
                 "  %-10s CPU %.2f %% of one core (%.1fx idle), %.0f wakes a second, resident "
                 "memory %+.0f KiB over the phase, %d failed poll reads\n",
                 title, w.cpuPercent, Ratio(w.cpuPercent, idle.cpuPercent), w.wakesPerSecond,
                 w.residentEndKiB - w.residentStartKiB, w.failedReads);
}

int RunClients(const QStringList &arguments)
{
    const auto value = [&arguments](const char *name) {
        return arguments.value(arguments.indexOf(QLatin1String(name)) + 1).toInt();
    };
    const int clients = qBound(1, value("--clients"), ScpiServer::MaxClients);
    const int seconds = qMax(1, value("--seconds"));
    // The emulator stands in for a converter with a processor of its own: the clients must not
    // starve it of this machine's few cores, or the poll period would show their load on the
    // emulator rather than on the panel.
    setpriority(PRIO_PROCESS, 0, 10);
    ScpiHammer hammer(quint16(value("--port")), clients, seconds);
    HammerResult result;
    if (!hammer.Run(result)) {
        std::fprintf(stderr, "bench_scpi: not every client could connect\n");
        return 1;
    }
    result.Write(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--clients")))
        return RunClients(arguments);
    const int seconds = argc > 1 ? qMax(3, atoi(argv[1])) : 10;
    FILE *out = stdout;

    SimProcess sim;
    const QString port = sim.start({});
    if (port.isEmpty()) {
        std::fprintf(out, "cannot start %s\n", VORNEX_SIM_PATH);
        return 1;
    }
    Panel panel;
    if (!panel.session.Open(port)) {
        std::fprintf(out, "cannot open %s: %s\n", qPrintable(port),
                     qPrintable(panel.session.OpenError()));
        return 1;
    }
    bool statusSeen = false;
    QObject::connect(&panel.session, &DeviceSession::statusRead, [&] { statusSeen = true; });
    if (!WaitFor(
            &panel.session, &DeviceSession::statusRead, [&] { return statusSeen; }, 5000)) {
        std::fprintf(out, "no status read from %s\n", qPrintable(port));
        return 1;
    }
    if (!panel.server.Apply(RemoteSettings{true, RemoteSettings::Listen::Local, 0, {}})) {
        std::fprintf(out, "%s\n", qPrintable(panel.server.StatusText()));
        return 1;
    }
    RunFor(1000);

    const Window idle = Measure(panel, sim, seconds * 1000);
    const std::optional<LoadPhase> one = MeasureUnderLoad(panel, sim, 1, seconds);
    const std::optional<LoadPhase> eight =
        MeasureUnderLoad(panel, sim, ScpiServer::MaxClients, seconds);
    if (!one || !eight) {
        std::fprintf(out, "the clients' process failed\n");
        return 1;
    }

    std::fprintf(
        out,
        "bench_scpi: %d s per phase; session and server in this process (pid %lld), "
        "the emulator (9200 baud) and the clients (a thread each, at nice 10) in processes of "
        "their own\n",
        seconds, static_cast<long long>(QCoreApplication::applicationPid()));
    std::fprintf(out, "query round trip, MEAS:VOLT? to its answer line, each client waiting for "
                      "its answer before the next query:\n");
    PrintRoundTrip(out, "1 client", one->clients);
    PrintRoundTrip(out, "8 clients", eight->clients);
    std::fprintf(out, "poll period, between tickDone signals (goal: %d ms, as idle):\n",
                 DeviceSession::PollIntervalMs);
    PrintSpread(out, "idle", idle.tick, idle.tick);
    PrintSpread(out, "1 client", one->window.tick, idle.tick);
    PrintSpread(out, "8 clients", eight->window.tick, idle.tick);
    std::fprintf(out, "poll period, between status and ADC requests at the emulator:\n");
    PrintSpread(out, "idle", idle.deviceTick, idle.deviceTick);
    PrintSpread(out, "1 client", one->window.deviceTick, idle.deviceTick);
    PrintSpread(out, "8 clients", eight->window.deviceTick, idle.deviceTick);
    std::fprintf(out, "the process of session and server, per second of wall time:\n");
    PrintWindow(out, "idle", idle, idle);
    PrintWindow(out, "1 client", one->window, idle);
    PrintWindow(out, "8 clients", eight->window, idle);
    std::fprintf(out,
                 "poll period p99 with 8 busy clients: %.0f ms (%.2fx idle); at the emulator "
                 "%.0f ms (%.2fx idle)\n",
                 eight->window.tick.p99, Ratio(eight->window.tick.p99, idle.tick.p99),
                 eight->window.deviceTick.p99,
                 Ratio(eight->window.deviceTick.p99, idle.deviceTick.p99));
    std::fprintf(out, "server process CPU: %.1f %% vs %.2f %% idle\n", eight->window.cpuPercent,
                 idle.cpuPercent);
    std::fflush(out);
    return 0;
}
