#include "cli/panelcounters.h"

#include "cli/clicommand.h"
#include "cli/console.h"
#include "cli/resulttext.h"

#include "guard/counterfile.h"
#include "guard/deviceguard.h"
#include "guard/energytotals.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace {

// The panel sets no application or organisation name: Qt takes its executable's.
const QString PanelApplicationName = QStringLiteral("vornexcontrol");

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Qt names no data folder where it finds no home; nothing is then read or written, least of
// all in the current folder.
CounterFileResult NoFolder()
{
    CounterFileResult result;
    result.failure = Failure::BadFile;
    result.message = QStringLiteral("папка данных панели не определена: "
                                    "счётчиков не найти");
    return result;
}

} // namespace

CounterValues CounterValues::Of(const EnergyTotals &totals)
{
    CounterValues values;
    values.ampereHours = totals.AmpereHours();
    values.wattHours = totals.WattHours();
    values.onSeconds = totals.onSeconds;
    values.gapSeconds = totals.gapSeconds;
    values.resetAt = totals.resetAt;
    return values;
}

// Qt builds the location from the application's names, so the panel's is vornexctl's with the
// panel's names, and Qt's own rules (XDG_DATA_HOME, the roaming AppData folder) stay Qt's.
QString PanelDataFolder()
{
    const QString ownApplication = QCoreApplication::applicationName();
    const QString ownOrganisation = QCoreApplication::organizationName();
    QCoreApplication::setApplicationName(PanelApplicationName);
    QCoreApplication::setOrganizationName(QString());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setOrganizationName(ownOrganisation);
    QCoreApplication::setApplicationName(ownApplication);
    return folder;
}

CounterFileResult ReadPanelCounters(const QString &folder)
{
    if (folder.isEmpty())
        return NoFolder();
    CounterFileResult result;
    const QString path = QDir(folder).filePath(DeviceGuard::CounterFileName());
    const CounterFile::Loaded loaded = CounterFile::Load(path);
    if (loaded.totals) {
        result.values = CounterValues::Of(*loaded.totals);
        return result;
    }
    if (!loaded.problem.isEmpty()) {
        result.failure = Failure::BadFile;
        result.message = QStringLiteral("счётчики панели не прочитаны: «%1»: %2")
                             .arg(Shown(path), loaded.problem);
        return result;
    }
    result.values = CounterValues();
    result.note = QStringLiteral("панель ещё не сохраняла счётчики (нет «%1»): все по нулям")
                      .arg(Shown(path));
    return result;
}

CounterFileResult ResetPanelCounters(const QString &folder, const QDateTime &now)
{
    if (folder.isEmpty())
        return NoFolder();
    CounterFileResult result;
    if (!QDir().mkpath(folder)) {
        result.failure = Failure::BadFile;
        result.message =
            QStringLiteral("счётчики не сброшены: папка «%1» не создаётся").arg(Shown(folder));
        return result;
    }
    const QDir dir(folder);
    // Held while the file is written, so that a panel starting meanwhile waits its turn rather
    // than load half of it; as the panel's guard, a lock left by a dead program is taken over.
    QLockFile lock(dir.filePath(DeviceGuard::CounterLockName()));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError) {
            result.failure = Failure::CountersBusy;
            result.message =
                QStringLiteral("счётчики не сброшены: их ведёт работающая панель (%1); сбросьте "
                               "их в панели или через неё: vornexctl --via УЗЕЛ counters reset")
                    .arg(Shown(dir.filePath(DeviceGuard::CounterLockName())));
        } else {
            result.failure = Failure::BadFile;
            result.message = QStringLiteral("счётчики не сброшены: «%1» не создаётся")
                                 .arg(Shown(dir.filePath(DeviceGuard::CounterLockName())));
        }
        return result;
    }
    EnergyTotals zero;
    zero.resetAt = now.toUTC();
    const QString path = dir.filePath(DeviceGuard::CounterFileName());
    const QString problem = CounterFile::Save(path, zero);
    if (!problem.isEmpty()) {
        result.failure = Failure::BadFile;
        result.message =
            QStringLiteral("счётчики не сброшены: «%1» не записан: %2").arg(Shown(path), problem);
        return result;
    }
    result.values = CounterValues::Of(zero);
    return result;
}

int RunPanelCounters(const CliCommand &command, Console &console)
{
    const QString folder = PanelDataFolder();
    const CounterFileResult result =
        command.action == CliAction::CountersReset
            ? ResetPanelCounters(folder, QDateTime::currentDateTimeUtc())
            : ReadPanelCounters(folder);
    if (!result.values) {
        console.Complain(ResultText::Error(result.failure, result.message, command.json));
        return ExitStatusOf(result.failure);
    }
    if (!result.note.isEmpty())
        console.Complain(
            ResultText::Note(QStringLiteral("no-counters"), result.note, command.json));
    console.Print(ResultText::Counters(*result.values, command.json));
    return ExitSuccess;
}
