#include "guard/deviceguard.h"

#include "guard/counterfile.h"
#include "guard/protectionrecord.h"
#include "link/quantities.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QSettings>
#include <QTimer>

namespace {

DeviceGuard::Clock MonotonicClock()
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

} // namespace

DeviceGuard::DeviceGuard(DeviceSession *session, QSettings *store, const QString &folder,
                         QObject *parent, Clock clock)
    : QObject(parent), session(session), store(store), folder(folder),
      clock(clock ? std::move(clock) : MonotonicClock())
{
    qRegisterMetaType<Trip>();
    settings = LoadProtectionSettings(*store);

    TakeCounters();

    saveTimer = new QTimer(this);
    saveTimer->setInterval(SaveIntervalMs);
    connect(saveTimer, &QTimer::timeout, this, [this] {
        if (unsaved)
            SaveCounters();
    });
    saveTimer->start();

    connect(session, &DeviceSession::statusRead, this, &DeviceGuard::HearStatus);
    connect(session, &DeviceSession::readFailed, this, [this](DeviceSession::Block block) {
        if (block == DeviceSession::Block::Status)
            HearMiss();
    });
    connect(session, &DeviceSession::linkStateChanged, this,
            [this](DeviceSession::LinkState state) {
                if (state != DeviceSession::LinkState::Connected)
                    HearMiss();
            });
}

void DeviceGuard::TakeCounters()
{
    // Without a folder a relative name would land wherever the program was started from.
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        counterProblem = QStringLiteral("счётчики не сохраняются: нет папки данных");
        return;
    }
    counterLock = std::make_unique<QLockFile>(QDir(folder).filePath(CounterLockName()));
    // A lock whose holder died is taken over at once; a live holder keeps it.
    counterLock->setStaleLockTime(0);
    if (!counterLock->tryLock(0)) {
        counterLock.reset();
        counterProblem = QStringLiteral("счётчики ведёт другое окно панели: здесь они не "
                                        "сохраняются");
        return;
    }
    const CounterFile::Loaded loaded = CounterFile::Load(QDir(folder).filePath(CounterFileName()));
    if (loaded.totals)
        counter.Restore(*loaded.totals);
    else if (!loaded.problem.isEmpty())
        KeepDamagedCounters(loaded.problem);
}

// The next save would replace what could still be read by hand.
void DeviceGuard::KeepDamagedCounters(const QString &problem)
{
    const QDir dir(folder);
    const QString aside = dir.filePath(QStringLiteral("counters-damaged.json"));
    QFile::remove(aside);
    const bool kept = QFile::rename(dir.filePath(CounterFileName()), aside);
    counterProblem =
        QStringLiteral("счётчики не прочитаны (%1), начаты с нуля; %2")
            .arg(problem,
                 kept ? QStringLiteral("файл сохранён как %1").arg(QDir::toNativeSeparators(aside))
                      : QStringLiteral("файл не удалось отложить"));
}

DeviceGuard::~DeviceGuard()
{
    if (unsaved)
        SaveCounters();
}

void DeviceGuard::ResetCounters()
{
    counter.Reset(QDateTime::currentDateTimeUtc());
    SaveCounters();
    emit countersChanged();
}

void DeviceGuard::SaveCounters()
{
    unsaved = false;
    if (!counterLock)
        return;
    const QString problem =
        CounterFile::Save(QDir(folder).filePath(CounterFileName()), counter.Totals());
    const QString was = counterProblem;
    counterProblem =
        problem.isEmpty() ? QString() : QStringLiteral("счётчики не записаны: %1").arg(problem);
    if (counterProblem != was)
        emit countersChanged();
}

void DeviceGuard::SetSettings(const ProtectionSettings &value)
{
    if (value == settings)
        return;
    settings = value;
    StoreProtectionSettings(*store, settings);
    emit settingsChanged();
}

void DeviceGuard::Acknowledge()
{
    if (!trip)
        return;
    trip.reset();
    judge.Clear();
    session->UnlockOutput();
    emit tripCleared();
}

void DeviceGuard::HearStatus(const OutputStatus &status)
{
    const qint64 now = clock();
    const double volts = ToUnits(Quantity::OutputVoltage, status.voltage);
    const double amps = ToUnits(CurrentQuantity(status), status.current);
    const bool on = status.outputOn != 0;
    const EnergyTotals before = counter.Totals();
    counter.Reading(now, volts, amps, on);
    if (!(counter.Totals() == before)) {
        unsaved = true;
        emit countersChanged();
    }
    if (const std::optional<Trip> due = judge.Reading(now, volts, amps, on, settings)) {
        trip = due;
        session->LockOutputOff();
        Record(*due);
        emit tripped(*due);
    }
}

void DeviceGuard::HearMiss()
{
    counter.Missed();
    judge.Missed();
}

void DeviceGuard::Record(const Trip &tripped)
{
    if (folder.isEmpty()) {
        recordProblem = QStringLiteral("нет папки данных");
        return;
    }
    recordProblem =
        ProtectionRecord::Append(QDir(folder).filePath(RecordFileName()),
                                 ProtectionRecord::Line(QDateTime::currentDateTime(), tripped));
}
