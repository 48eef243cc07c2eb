// The guard on a session against the emulator at 9200 baud: its charge and energy counters
// against the converter's exact count, the time a trip takes to switch the output off, and the
// CPU the guard adds to a polling session.
//
//     bench_guard [--minutes N, default 10] [--trips N, default 50] [--cpu-seconds N, default 60]
//
// The counters and the trips run against the emulator in this process, on a thread of its own,
// so that its count and its request times can be taken at the moment each request reaches it.
// The CPU is measured against the emulator program as a child process, whose CPU stays out.

#include "benchclock.h"
#include "guard/deviceguard.h"
#include "link/deviceprotocol.h"
#include "session/devicesession.h"
#include "sim/converteremulator.h"
#include "simprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>

namespace {

constexpr int waitMs = 10000;
constexpr double tripLevelVolts = 12.5;
constexpr int overvoltageMv = 1000;

const Setpoints workingPoint{12000, 3000};

struct Options
{
    int minutes = 10;
    int trips = 50;
    int cpuSeconds = 60;
};

std::optional<Options> ParseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {"minutes", "Counting time per load, in minutes (default 10).", "N", "10"},
        {"trips", "Trips per hold time (default 50).", "N", "50"},
        {"cpu-seconds", "CPU measuring time with and without the guard each (default 60).", "N",
         "60"},
    });
    parser.process(app);
    Options options;
    bool ok[3] = {};
    options.minutes = parser.value("minutes").toInt(&ok[0]);
    options.trips = parser.value("trips").toInt(&ok[1]);
    options.cpuSeconds = parser.value("cpu-seconds").toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || options.minutes < 1 || options.trips < 1 ||
        options.cpuSeconds < 4)
        return std::nullopt;
    return options;
}

// Runs the event loop until the session has ended a tick after which done() holds.
bool WaitForTick(DeviceSession &session, const std::function<bool()> &done, int timeoutMs = waitMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    const QMetaObject::Connection watch =
        QObject::connect(&session, &DeviceSession::tickDone, &loop, [&] {
            if (done())
                loop.quit();
        });
    loop.exec();
    QObject::disconnect(watch);
    return done();
}

// Switches the output through the session, as the panel's button does, and waits for a status
// read that shows it.
bool SwitchOutput(DeviceSession &session, bool on)
{
    bool ended = false;
    session.Submit(SessionCommand::SwitchOutput(on), CommandLane::Operator,
                   [&ended](CommandOutcome) { ended = true; });
    if (!WaitForTick(session, [&] { return ended; }))
        return false;
    bool seen = false;
    const QMetaObject::Connection watch =
        QObject::connect(&session, &DeviceSession::statusRead, [&](const OutputStatus &status) {
            seen = seen || (status.outputOn != 0) == on;
        });
    const bool shown = WaitForTick(session, [&] { return seen; });
    QObject::disconnect(watch);
    return shown;
}

bool WriteSetpoints(DeviceSession &session, const Setpoints &setpoints)
{
    bool ended = false;
    session.Submit(SessionCommand::WriteSetpoints([setpoints] { return setpoints; }),
                   CommandLane::Operator, [&ended](CommandOutcome) { ended = true; });
    return WaitForTick(session, [&] { return ended; });
}

double Median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

double Worst(const QVector<double> &values)
{
    return values.isEmpty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// The emulator in this process on a thread of its own, paced at 9200 baud, and what it saw:
// its count at every status read, and the request times a trip is measured between.
class EmulatorRig
{
public:
    struct Trace
    {
        DeliveredEnergy atStatus; // the count when the last status read reached the emulator
        bool armed = false;       // the over-voltage is on
        std::optional<qint64> firstOverMs;
        std::optional<qint64> switchOffMs;
    };

    EmulatorRig()
    {
        emulator->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, emulator, &QObject::deleteLater);
        // Runs on the emulator's thread as each request is taken in, after the reply to it is
        // queued, and before any later request: the count and the times are the emulator's own.
        QObject::connect(
            emulator, &ConverterEmulator::requestReceived, emulator,
            [this](const EmulatorRequest &request) {
                if (!request.parsed)
                    return;
                const std::lock_guard<std::mutex> lock(mutex);
                if (request.registerCode == DeviceRegister::Status) {
                    trace.atStatus = emulator->delivered();
                    if (trace.armed && !trace.firstOverMs)
                        trace.firstOverMs = request.timeMs;
                } else if (request.registerCode == DeviceRegister::OutputSwitch &&
                           request.operationCode == DeviceOperation::Write && trace.firstOverMs &&
                           !trace.switchOffMs) {
                    trace.switchOffMs = request.timeMs;
                }
            },
            Qt::DirectConnection);
        thread.start();
    }

    ~EmulatorRig()
    {
        emulator->stop();
        thread.quit();
        thread.wait();
    }

    bool Start(QString *error) { return emulator->start(error); }

    Trace Snapshot() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return trace;
    }

    // Puts the failing regulator on between two requests, so that the first status read it
    // answered is known exactly.
    void ArmOvervoltage()
    {
        QMetaObject::invokeMethod(
            emulator,
            [this] {
                FaultSettings faults;
                faults.overvoltageMv = overvoltageMv;
                emulator->setFaults(faults);
                const std::lock_guard<std::mutex> lock(mutex);
                trace.armed = true;
                trace.firstOverMs.reset();
                trace.switchOffMs.reset();
            },
            Qt::BlockingQueuedConnection);
    }

    void Disarm()
    {
        emulator->clearFaults();
        const std::lock_guard<std::mutex> lock(mutex);
        trace.armed = false;
    }

    ConverterEmulator *emulator = new ConverterEmulator;

private:
    QThread thread;
    mutable std::mutex mutex;
    Trace trace;
};

// A guard with its own settings store and counter folder.
struct GuardBench
{
    QTemporaryDir dir;
    QSettings store{dir.filePath(QStringLiteral("store.ini")), QSettings::IniFormat};

    std::unique_ptr<DeviceGuard> Make(DeviceSession &session)
    {
        return std::make_unique<DeviceGuard>(&session, &store,
                                             dir.filePath(QStringLiteral("journal")));
    }
};

struct CountFigures
{
    double chargeError = 0; // relative, guard against emulator, switch-on to switch-off
    double energyError = 0;
    double innerChargeError = 0; // between the first and the last status read with the output on
    double innerEnergyError = 0;
    double ampereHours = 0; // what the emulator delivered
    double wattHours = 0;
    int reads = 0;
    bool ok = false;
};

struct ReadPair
{
    EnergyTotals guard;
    DeliveredEnergy emulator;
    bool on = false;
};

double RelativeError(double counted, double exact)
{
    return exact != 0 ? counted / exact - 1.0 : 0.0;
}

// Counts from switch-on to switch-off through the session, with the load the profile gives
// (a fixed 10 ohm without one).
CountFigures CountRun(EmulatorRig &rig, DeviceSession &session, DeviceGuard &guard,
                      const std::optional<LoadProfile> &profile, int minutes)
{
    CountFigures figures;
    rig.emulator->setLoadResistance(10);
    if (profile)
        rig.emulator->setLoadProfile(profile);
    if (!SwitchOutput(session, false))
        return figures;
    guard.ResetCounters();
    rig.emulator->resetDelivered();

    QVector<ReadPair> reads;
    const QMetaObject::Connection watch =
        QObject::connect(&session, &DeviceSession::statusRead, [&](const OutputStatus &status) {
            reads.append({guard.Totals(), rig.Snapshot().atStatus, status.outputOn != 0});
        });
    const bool switched = SwitchOutput(session, true);
    if (switched)
        RunFor(minutes * 60 * 1000);
    const bool off = switched && SwitchOutput(session, false);
    QObject::disconnect(watch);
    rig.emulator->setLoadResistance(10);
    if (!off)
        return figures;

    const DeliveredEnergy exact = rig.emulator->delivered();
    const EnergyTotals &counted = guard.Totals();
    figures.ampereHours = exact.ampereHours();
    figures.wattHours = exact.wattHours();
    figures.chargeError = RelativeError(counted.AmpereHours(), exact.ampereHours());
    figures.energyError = RelativeError(counted.WattHours(), exact.wattHours());

    const auto first =
        std::find_if(reads.begin(), reads.end(), [](const ReadPair &r) { return r.on; });
    const auto last =
        std::find_if(reads.rbegin(), reads.rend(), [](const ReadPair &r) { return r.on; });
    if (first == reads.end() || &*last == &*first)
        return figures;
    figures.innerChargeError =
        RelativeError(last->guard.ampereSeconds - first->guard.ampereSeconds,
                      (last->emulator.milliampereMs - first->emulator.milliampereMs) / 1e6);
    figures.innerEnergyError =
        RelativeError(last->guard.joules - first->guard.joules,
                      (last->emulator.microwattMs - first->emulator.microwattMs) / 1e9);
    figures.reads =
        int(std::count_if(reads.begin(), reads.end(), [](const ReadPair &r) { return r.on; }));
    figures.ok = true;
    return figures;
}

struct TripFigures
{
    QVector<double> latenciesMs;
    int failed = 0;
};

// Trips the over-voltage protection again and again: the fault comes on at a random moment
// within a status read's interval, and the time from the first status read that showed it to
// the switch-off reaching the emulator is taken at the emulator.
TripFigures TripRun(EmulatorRig &rig, DeviceSession &session, DeviceGuard &guard, int trips,
                    double holdSeconds)
{
    TripFigures figures;
    ProtectionSettings settings;
    settings.voltage = {true, tripLevelVolts, holdSeconds};
    guard.SetSettings(settings);
    rig.emulator->setLoadResistance(10);
    for (int i = 0; i < trips; ++i) {
        if (!SwitchOutput(session, true)) {
            ++figures.failed;
            continue;
        }
        // Any phase against the poll is as likely as any other.
        RunFor(QRandomGenerator::global()->bounded(2 * DeviceSession::PollIntervalMs));
        rig.ArmOvervoltage();
        const bool off = WaitForTick(session, [&] {
            return rig.Snapshot().switchOffMs.has_value() && !rig.emulator->outputOn();
        });
        const EmulatorRig::Trace trace = rig.Snapshot();
        rig.Disarm();
        if (off && guard.Tripped())
            figures.latenciesMs.append(double(*trace.switchOffMs - *trace.firstOverMs));
        else
            ++figures.failed;
        guard.Acknowledge();
    }
    guard.SetSettings(ProtectionSettings());
    return figures;
}

void PrintCount(const char *title, const CountFigures &f, double goal)
{
    if (!f.ok) {
        std::printf("%s: the session did not switch the output as asked\n", title);
        return;
    }
    std::printf("%s: %.6f Ah, %.6f Wh delivered, %d status reads with the output on\n", title,
                f.ampereHours, f.wattHours, f.reads);
    std::printf(
        "  switch-on to switch-off  charge %+.4f %%  energy %+.4f %%  (goal within %.1f %%: "
        "%.3f, %.3f of goal)\n",
        100 * f.chargeError, 100 * f.energyError, 100 * goal, std::abs(f.chargeError) / goal,
        std::abs(f.energyError) / goal);
    std::printf("  first to last on-read    charge %+.4f %%  energy %+.4f %%\n",
                100 * f.innerChargeError, 100 * f.innerEnergyError);
}

void PrintTrips(double holdSeconds, const TripFigures &f)
{
    const double goalMs = holdSeconds * 1000 + DeviceSession::PollIntervalMs;
    const double median = Median(f.latenciesMs);
    const double worst = Worst(f.latenciesMs);
    const auto late = std::count_if(f.latenciesMs.begin(), f.latenciesMs.end(),
                                    [goalMs](double ms) { return ms > goalMs; });
    std::printf("  hold %.1f s: median %.0f ms, worst %.0f ms over %d trips (%d failed); goal "
                "%.0f ms: median %.3f, worst %.3f of goal, %d trips over it\n",
                holdSeconds, median, worst, int(f.latenciesMs.size()), f.failed, goalMs,
                median / goalMs, worst / goalMs, int(late));
}

bool CountersAndTrips(const Options &options)
{
    EmulatorRig rig;
    QString error;
    if (!rig.Start(&error)) {
        std::printf("emulator: %s\n", qPrintable(error));
        return false;
    }
    rig.emulator->setSetpoints(workingPoint);
    DeviceSession session;
    GuardBench bench;
    const std::unique_ptr<DeviceGuard> guard = bench.Make(session);
    if (!session.Open(rig.emulator->serialPath())) {
        std::printf("cannot open %s: %s\n", qPrintable(rig.emulator->serialPath()),
                    qPrintable(session.OpenError()));
        return false;
    }

    std::printf("counters against the emulator's own count, %d min a load, 12 V:\n",
                options.minutes);
    std::fflush(stdout);
    PrintCount("constant 10 ohm", CountRun(rig, session, *guard, std::nullopt, options.minutes),
               0.005);
    std::fflush(stdout);
    PrintCount("10, 22, 6 ohm, 30 s each",
               CountRun(rig, session, *guard,
                        LoadProfile::parse(QStringLiteral("10,22,6"), 30000, false),
                        options.minutes),
               0.02);
    std::fflush(stdout);

    std::printf("trip latency, over-voltage %.1f V against %.1f V, first status read beyond the "
                "level to the switch-off at the emulator:\n",
                12.0 + overvoltageMv / 1000.0, tripLevelVolts);
    for (double hold : {0.5, 0.0}) {
        PrintTrips(hold, TripRun(rig, session, *guard, options.trips, hold));
        std::fflush(stdout);
    }
    session.Close();
    return true;
}

// CPU of this process over a phase of the given wall time.
double CpuPercent(int ms)
{
    QElapsedTimer wall;
    const double before = CpuSeconds();
    wall.start();
    RunFor(ms);
    return 100.0 * (CpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

bool CpuCost(const Options &options)
{
    SimProcess sim;
    const QString port = sim.start({QStringLiteral("--adapter-latency"), QStringLiteral("16")});
    if (port.isEmpty()) {
        std::printf("cannot start %s\n", VORNEX_SIM_PATH);
        return false;
    }
    DeviceSession session;
    if (!session.Open(port) || !WriteSetpoints(session, workingPoint) ||
        !SwitchOutput(session, true)) {
        std::printf("cannot bring the emulator program's output on at %s\n", qPrintable(port));
        return false;
    }
    GuardBench bench;
    // Levels the 12 V, 1.2 A output never reaches: every reading is judged, none trips.
    ProtectionSettings watching;
    watching.voltage = {true, 20.0, 0.5};
    watching.current = {true, 3.0, 0.5};
    watching.power = {true, 50.0, 0.5};

    // Bare, guarded, guarded, bare, and so on: a drift of the machine falls on both alike.
    constexpr int phases = 8;
    const int phaseMs = options.cpuSeconds * 1000 / (phases / 2);
    QVector<double> bare;
    QVector<double> guarded;
    int trips = 0;
    RunFor(2000);
    for (int phase = 0; phase < phases; ++phase) {
        const bool withGuard = (phase % 4 == 1) || (phase % 4 == 2);
        if (!withGuard) {
            bare.append(CpuPercent(phaseMs));
            continue;
        }
        const std::unique_ptr<DeviceGuard> guard = bench.Make(session);
        guard->SetSettings(watching);
        guarded.append(CpuPercent(phaseMs));
        trips += guard->Tripped() ? 1 : 0;
    }
    const auto mean = [](const QVector<double> &v) {
        return std::accumulate(v.begin(), v.end(), 0.0) / std::max(1, int(v.size()));
    };
    const double bareMean = mean(bare);
    const double guardedMean = mean(guarded);
    const double ratio = bareMean > 0 ? guardedMean / bareMean : 0.0;
    std::printf("CPU of this process, session polling the emulator program (USB adapter, 16 ms), "
                "%d phases of %.1f s alternating:\n",
                phases, phaseMs / 1000.0);
    std::printf("  without a guard %.3f %% of one core (phases", bareMean);
    for (double v : bare)
        std::printf(" %.3f", v);
    std::printf(")\n  with a guard    %.3f %% of one core (phases", guardedMean);
    for (double v : guarded)
        std::printf(" %.3f", v);
    std::printf("), %d trips\n  with / without %.3f (goal within 5 %%: %.2f of goal)\n", trips,
                ratio, std::abs(ratio - 1.0) / 0.05);
    session.Close();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = ParseOptions(app);
    if (!options) {
        std::fprintf(stderr, "bench_guard: --minutes, --trips need whole numbers from 1, "
                             "--cpu-seconds from 4\n");
        return 2;
    }
    std::printf("bench_guard: %d min a load, %d trips a hold time, %d s of CPU each way\n",
                options->minutes, options->trips, options->cpuSeconds);
    std::fflush(stdout);
    const bool cpu = CpuCost(*options);
    std::fflush(stdout);
    const bool rest = CountersAndTrips(*options);
    std::fflush(stdout);
    return cpu && rest ? 0 : 1;
}
