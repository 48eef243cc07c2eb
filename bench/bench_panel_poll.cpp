// Responsiveness of the connected panel: CPU of the panel process and the poll periods the
// device sees, against an emulator at 9200 baud that answers with each character handed over
// as it arrives (a bare UART), then in batches as a USB adapter with FTDI's 16 ms latency timer
// hands them over, then stays silent. In each answering mode the same exchange is then run
// without the panel (see bareexchange.h), and the panel's CPU is printed against it.
//
//     bench_panel_poll [seconds per phase, default 60]

#include "app/mainwindow.h"
#include "bareexchange.h"
#include "benchclock.h"
#include "benchprocess.h"
#include "settings/settingsstore.h"
#include "simprocess.h"
#include "tests/support/panelwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int statusRegister = 0x01;
constexpr int adcRegister = 0x10;
// A repeat of the same request this soon after it is the read's second attempt, not a new tick.
constexpr double retryWindowS = 0.3;

FILE *out = stdout;

struct Spread
{
    double median = 0;
    double p5 = 0;
    double p95 = 0;
    int count = 0;
};

Spread SpreadOf(QVector<double> values)
{
    Spread s;
    s.count = values.size();
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const auto at = [&values](double q) { return values.at(int(q * (values.size() - 1) + 0.5)); };
    s.median = at(0.5);
    s.p5 = at(0.05);
    s.p95 = at(0.95);
    return s;
}

void PrintSpread(const char *what, const Spread &s)
{
    std::fprintf(out, "  %-28s median %6.1f ms   p5 %6.1f ms   p95 %6.1f ms   (%d intervals)\n",
                 what, s.median, s.p5, s.p95, s.count);
}

// Starts of transactions (first sends) of the idle reads in a slice of the request log.
QVector<SimProcess::Request> TransactionStarts(const QVector<SimProcess::Request> &requests)
{
    QVector<SimProcess::Request> starts;
    for (const SimProcess::Request &r : requests) {
        if (r.registerCode != statusRegister && r.registerCode != adcRegister)
            continue;
        if (!starts.isEmpty() && starts.last().registerCode == r.registerCode &&
            r.timeS - starts.last().timeS < retryWindowS)
            continue;
        starts.append(r);
    }
    return starts;
}

QVector<double> Intervals(const QVector<SimProcess::Request> &starts, int registerCode)
{
    QVector<double> gaps;
    double previous = -1;
    for (const SimProcess::Request &r : starts) {
        if (registerCode != 0 && r.registerCode != registerCode)
            continue;
        if (previous >= 0)
            gaps.append((r.timeS - previous) * 1000.0);
        previous = r.timeS;
    }
    // The first interval of a phase may straddle the switch between phases.
    if (!gaps.isEmpty())
        gaps.removeFirst();
    return gaps;
}

struct Phase
{
    double cpuPercent = 0;
    double wakesPerSecond = 0;
    Spread tick;
    Spread status;
    Spread adc;
};

Phase Measure(SimProcess &sim, int seconds, int &seen)
{
    QElapsedTimer wall;
    const double cpuBefore = CpuSeconds();
    const long wakesBefore = Wakes();
    wall.start();
    RunFor(seconds * 1000);
    Phase phase;
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    phase.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / wallSeconds;
    phase.wakesPerSecond = double(Wakes() - wakesBefore) / wallSeconds;
    const QVector<SimProcess::Request> all = sim.requests();
    const QVector<SimProcess::Request> starts = TransactionStarts(all.mid(seen));
    seen = all.size();
    phase.tick = SpreadOf(Intervals(starts, 0));
    phase.status = SpreadOf(Intervals(starts, statusRegister));
    phase.adc = SpreadOf(Intervals(starts, adcRegister));
    return phase;
}

// The goal is a refresh of each quantity every 500 ms while the device answers, and a cycle
// (one read per tick) about every 500 ms while it is silent.
void PrintPhase(const char *title, const Phase &phase, double idleCpu, double wakeCostUs,
                const char *goalName, const Spread &goalFigure)
{
    constexpr double goalMs = 500.0;
    std::fprintf(out, "%s\n", title);
    std::fprintf(out,
                 "  CPU of the panel process     %.3f %% of one core (%.1f x idle, goal 0.5 %%)\n",
                 phase.cpuPercent, idleCpu > 0 ? phase.cpuPercent / idleCpu : 0.0);
    const double wakesAlone = phase.wakesPerSecond * wakeCostUs / 1e4;
    std::fprintf(out,
                 "  wakes of the panel process   %.0f a second; waking alone would cost %.3f %% "
                 "(panel %.1f x that)\n",
                 phase.wakesPerSecond, wakesAlone,
                 wakesAlone > 0 ? phase.cpuPercent / wakesAlone : 0.0);
    PrintSpread("tick period", phase.tick);
    PrintSpread("status refresh", phase.status);
    PrintSpread("ADC refresh", phase.adc);
    std::fprintf(out, "  %s median / goal %.0f ms: %.3f\n", goalName, goalMs,
                 goalFigure.median / goalMs);
}

void PrintBare(const BareFigures &bare, const Phase &panel)
{
    std::fprintf(out,
                 "  the same exchange, bare      %.3f %% of one core, %.0f wakes a second, "
                 "%d of %d replies; panel %.2f x that\n",
                 bare.cpuPercent, bare.wakesPerSecond, bare.replies, bare.exchanges,
                 bare.cpuPercent > 0 ? panel.cpuPercent / bare.cpuPercent : 0.0);
}

// The bare exchange needs the port to itself; the panel lets go of it meanwhile.
BareFigures RunBare(MainWindow &window, SimProcess &sim, const QString &port, int seconds,
                    int &seen)
{
    PanelAction(window, "actionDisconnect")->trigger();
    RunFor(100);
    const BareFigures bare = BareExchange::Run(port, seconds);
    seen = sim.requests().size();
    PanelAction(window, "actionConnect")->trigger();
    return bare;
}

} // namespace

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? qMax(5, atoi(argv[1])) : 60;
    QTemporaryDir config;
    out = PrepareBenchProcess(config);

    QApplication app(argc, argv);
    SimProcess sim;
    const QString port = sim.start({});
    if (port.isEmpty()) {
        std::fprintf(out, "cannot start %s\n", VORNEX_SIM_PATH);
        return 1;
    }
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> shown = OpenPanelWindow(store.get(), {port});
    MainWindow &window = *shown;

    const int idleSeconds = qMax(5, seconds / 6);
    QElapsedTimer wall;
    const double cpuBefore = CpuSeconds();
    wall.start();
    RunFor(idleSeconds * 1000);
    const double idleCpu = 100.0 * (CpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
    const double wakeCostUs = WakeCostUs(idleSeconds * 1000);

    PanelAction(window, "actionConnect")->trigger();
    int seen = 0;
    const double simCpuBefore = sim.cpuSeconds();
    const Phase answering = Measure(sim, seconds, seen);
    const double simCpu = sim.cpuSeconds() - simCpuBefore;
    const BareFigures answeringBare = RunBare(window, sim, port, seconds, seen);
    sim.command(QStringLiteral("latency 16"));
    const Phase adapter = Measure(sim, seconds, seen);
    const BareFigures adapterBare = RunBare(window, sim, port, seconds, seen);
    sim.command(QStringLiteral("fault silent"));
    const Phase silent = Measure(sim, seconds, seen);

    std::fprintf(out, "bench_panel_poll: %d s per phase, emulator paced at 9200 baud\n", seconds);
    std::fprintf(out, "baseline: panel disconnected for %d s: CPU %.3f %% of one core\n",
                 idleSeconds, idleCpu);
    std::fprintf(out, "one wake of an event loop that does nothing: %.1f us of CPU\n", wakeCostUs);
    PrintPhase("answering device, each character handed over as it arrives:", answering, idleCpu,
               wakeCostUs, "status refresh", answering.status);
    PrintBare(answeringBare, answering);
    std::fprintf(out, "  CPU of the emulator process  %.3f %% (not counted above)\n",
                 100.0 * simCpu / seconds);
    PrintPhase("answering device, through a USB adapter with a 16 ms latency timer:", adapter,
               idleCpu, wakeCostUs, "status refresh", adapter.status);
    PrintBare(adapterBare, adapter);
    PrintPhase("silent device:", silent, idleCpu, wakeCostUs, "tick period", silent.tick);
    std::fflush(out);
    return 0;
}
