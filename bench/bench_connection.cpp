// The connection on a bench that is left alone: the panel's CPU while its port is lost, beside
// the same panel connected to a device that does not answer; the time from a port's return to
// the first good status read; and memory and responsiveness under a flood of line noise,
// beside the same panel with a quiet device. Run: bench_connection [seconds per phase] [cycles]
#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchprocess.h"
#include "session/devicesession.h"
#include "settings/settingsstore.h"
#include "simprocess.h"
#include "tests/support/panelwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

FILE *out = stdout;

// Waits in the event loop until done() holds or ms have passed; false on time-out.
template <typename Done> bool RunUntil(Done done, int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms)
            return false;
        RunFor(5);
    }
    return true;
}

double CpuPercentOver(int seconds)
{
    QElapsedTimer wall;
    const double before = CpuSeconds();
    wall.start();
    RunFor(seconds * 1000);
    return 100.0 * (CpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

double Median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

struct NoiseFigures
{
    double startKiB = 0;
    double maxKiB = 0;
    double endKiB = 0;
    qint64 longestGapMs = 0;
    double cpuPercent = 0;
    int goodReads = 0;
    int failedReads = 0;
};

// Resident memory once a second and the longest time the event loop left a 10 ms timer waiting.
NoiseFigures Watch(DeviceSession *session, int seconds)
{
    NoiseFigures figures;
    QObject good;
    QObject::connect(session, &DeviceSession::statusRead, &good, [&] { ++figures.goodReads; });
    QObject::connect(session, &DeviceSession::readFailed, &good, [&] { ++figures.failedReads; });
    const double cpuBefore = CpuSeconds();
    figures.startKiB = ResidentKiB();
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        figures.longestGapMs = qMax(figures.longestGapMs, sinceBeat.restart());
    });
    beat.start(10);
    for (int i = 0; i < seconds; ++i) {
        RunFor(1000);
        figures.maxKiB = qMax(figures.maxKiB, ResidentKiB());
    }
    figures.endKiB = ResidentKiB();
    figures.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / seconds;
    return figures;
}

void PrintNoise(const char *title, const NoiseFigures &f)
{
    std::fprintf(out,
                 "  %-32s resident %.0f -> %.0f KiB (highest %.0f), longest wait of a 10 ms "
                 "timer %lld ms, CPU %.1f %%, %d good and %d failed reads\n",
                 title, f.startKiB, f.endKiB, f.maxKiB, static_cast<long long>(f.longestGapMs),
                 f.cpuPercent, f.goodReads, f.failedReads);
}

} // namespace

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? qMax(5, atoi(argv[1])) : 60;
    const int cycles = argc > 2 ? qMax(1, atoi(argv[2])) : 20;
    QTemporaryDir config;
    out = PrepareBenchProcess(config);

    QApplication app(argc, argv);
    QTemporaryDir runtime;
    const QString link = runtime.filePath(QStringLiteral("ttyVORNEX"));
    SimProcess sim;
    if (sim.start({QStringLiteral("--link"), link, QStringLiteral("--output-on")}).isEmpty()) {
        std::fprintf(out, "cannot start %s\n", VORNEX_SIM_PATH);
        return 1;
    }
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> shown = OpenPanelWindow(store.get(), {link});
    MainWindow &window = *shown;
    auto *session = window.findChild<DeviceSession *>();
    int goodReads = 0;
    QObject::connect(session, &DeviceSession::statusRead, [&goodReads] { ++goodReads; });
    PanelAction(window, "actionConnect")->trigger();
    if (!RunUntil([&] { return goodReads > 0; }, 5000)) {
        std::fprintf(out, "the panel got no status from %s\n", qPrintable(link));
        return 1;
    }

    std::fprintf(out, "bench_connection: %d s per phase, %d return cycles\n", seconds, cycles);

    sim.command(QStringLiteral("fault silent"));
    RunFor(1000);
    const double silentCpu = CpuPercentOver(seconds);
    sim.command(QStringLiteral("fault none"));

    sim.command(QStringLiteral("hangup"));
    RunUntil([&] { return session->State() == DeviceSession::LinkState::PortLost; }, 5000);
    RunFor(1000);
    const double lostCpu = CpuPercentOver(seconds);
    std::fprintf(out, "CPU, connected to a device that does not answer: %.3f %% of one core\n",
                 silentCpu);
    std::fprintf(out,
                 "CPU, port lost and reopened every second:       %.3f %% of one core "
                 "(%.2f x the silent device)\n",
                 lostCpu, silentCpu > 0 ? lostCpu / silentCpu : 0.0);

    // Away for 1.5 to 3 s, so that the returns fall at every point of the reopen second.
    QVector<double> returnS;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle > 0) {
            sim.command(QStringLiteral("hangup"));
            RunUntil([&] { return session->State() == DeviceSession::LinkState::PortLost; }, 5000);
        }
        RunFor(1500 + (cycle * 77) % 1500);
        const int readsBefore = goodReads;
        QElapsedTimer back;
        back.start();
        sim.command(QStringLiteral("return"));
        if (!RunUntil([&] { return goodReads > readsBefore; }, 10000)) {
            std::fprintf(out, "  cycle %d: no status read within 10 s of the return\n", cycle);
            continue;
        }
        returnS << double(back.nsecsElapsed()) / 1e9;
    }
    if (!returnS.isEmpty()) {
        std::fprintf(out,
                     "port back to first good status read, %d cycles: median %.2f s, "
                     "shortest %.2f s, longest %.2f s\n",
                     int(returnS.size()), Median(returnS),
                     *std::min_element(returnS.begin(), returnS.end()),
                     *std::max_element(returnS.begin(), returnS.end()));
    }

    std::fprintf(out, "line noise, %d s each:\n", seconds);
    const NoiseFigures quiet = Watch(session, seconds);
    PrintNoise("quiet device", quiet);
    sim.command(QStringLiteral("fault flood"));
    const NoiseFigures random = Watch(session, seconds);
    PrintNoise("flood of random bytes", random);
    sim.command(QStringLiteral("fault none"));
    sim.command(QStringLiteral("fault flood-hex"));
    const NoiseFigures hex = Watch(session, seconds);
    PrintNoise("flood of '^' and digits, no end", hex);
    sim.command(QStringLiteral("fault none"));
    std::fprintf(out, "  highest resident memory under noise: %+.0f KiB against the quiet end\n",
                 qMax(random.maxKiB, hex.maxKiB) - quiet.endKiB);
    std::fflush(out);
    return 0;
}
