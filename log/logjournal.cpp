#include "log/logjournal.h"

#include "log/journalfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {

const QString journalSuffix = QStringLiteral(".txt");
const QString lockSuffix = QStringLiteral(".lock");
// Present beside a journal whose session ended cleanly.
const QString closedSuffix = QStringLiteral(".closed");
constexpr int keepAsideAttempts = 100;

QString FileError(const QString &what, const QFileDevice &file)
{
    return what.arg(QDir::toNativeSeparators(file.fileName())) + QStringLiteral(" (") +
           file.errorString() + QLatin1Char(')');
}

} // namespace

QString LogJournal::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

LogJournal::LogJournal(const QString &folder, qint64 restoreLimit, QObject *parent)
    : QObject(parent), folder(folder), restoreLimit(restoreLimit)
{
}

LogJournal::~LogJournal()
{
    if (lock == nullptr)
        return;
    file.close();
    // A leftover that was never decided on (it could not be kept aside) stays unmarked, so the
    // next start offers it again.
    if (started) {
        QFile mark(SlotPath(slot, closedSuffix));
        mark.open(QIODevice::WriteOnly);
    }
    lock->unlock();
}

QString LogJournal::SlotPath(int slot, const QString &suffix) const
{
    return QDir(folder).filePath(QStringLiteral("journal-%1").arg(slot) + suffix);
}

QString LogJournal::FilePath() const
{
    return slot == 0 ? QString() : SlotPath(slot, journalSuffix);
}

bool LogJournal::TakeSlot(int candidate, std::unique_ptr<QLockFile> &taken) const
{
    auto attempt = std::make_unique<QLockFile>(SlotPath(candidate, lockSuffix));
    if (!attempt->tryLock(0))
        return false;
    taken = std::move(attempt);
    return true;
}

bool LogJournal::HasLeftover(int candidate) const
{
    return QFileInfo(SlotPath(candidate, journalSuffix)).size() > 0 &&
           !QFileInfo::exists(SlotPath(candidate, closedSuffix));
}

std::optional<JournalLeftover> LogJournal::Open()
{
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        Stop(tr("нет папки для журнала %1").arg(QDir::toNativeSeparators(folder)));
        return std::nullopt;
    }
    // The first free slot, unless a later one holds a leftover: that one is taken instead, so a
    // crashed second window's journal is offered even when the first slot is free.
    int freeSlot = 0;
    std::unique_ptr<QLockFile> freeLock;
    for (int candidate = 1; candidate <= slotCount; ++candidate) {
        std::unique_ptr<QLockFile> candidateLock;
        if (!TakeSlot(candidate, candidateLock))
            continue;
        if (HasLeftover(candidate)) {
            slot = candidate;
            lock = std::move(candidateLock);
            break;
        }
        if (freeSlot == 0) {
            freeSlot = candidate;
            freeLock = std::move(candidateLock);
        }
    }
    if (lock != nullptr)
        return ReadLeftover();
    if (freeLock == nullptr) {
        Stop(tr("журнал в папке %1 недоступен или все %2 журналов заняты другими окнами")
                 .arg(QDir::toNativeSeparators(folder))
                 .arg(slotCount));
        return std::nullopt;
    }
    slot = freeSlot;
    lock = std::move(freeLock);
    StartWith(QByteArray());
    return std::nullopt;
}

JournalLeftover LogJournal::ReadLeftover() const
{
    JournalLeftover leftover;
    QFile old(SlotPath(slot, journalSuffix));
    const QFileInfo info(old);
    const qint64 size = info.size();
    leftover.lastWritten = info.lastModified();
    leftover.partial = size > restoreLimit;
    if (!old.open(QIODevice::ReadOnly))
        return leftover;
    if (leftover.partial)
        old.seek(size - restoreLimit);
    leftover.lines = CompleteJournalLines(old.read(restoreLimit), !leftover.partial);
    return leftover;
}

void LogJournal::Resume(const QByteArray &contents)
{
    if (lock == nullptr || file.isOpen())
        return;
    file.setFileName(SlotPath(slot, journalSuffix));
    if (file.size() == contents.size() && file.open(QIODevice::ReadOnly)) {
        const bool same = file.readAll() == contents;
        file.close();
        if (same) {
            if (MarkLive() &&
                !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
                Stop(FileError(tr("не удаётся открыть журнал %1"), file));
            started = file.isOpen();
            return;
        }
    }
    if (MoveLeftoverAside())
        StartWith(contents);
}

void LogJournal::KeepAside()
{
    if (lock == nullptr || file.isOpen())
        return;
    if (MoveLeftoverAside())
        StartWith(QByteArray());
}

bool LogJournal::MoveLeftoverAside()
{
    QFile old(SlotPath(slot, journalSuffix));
    const QDateTime lastWritten = QFileInfo(old).lastModified();
    for (int attempt = 1; attempt <= keepAsideAttempts; ++attempt) {
        const QString target = QDir(folder).filePath(KeptAsideFileName(lastWritten, attempt));
        if (QFileInfo::exists(target))
            continue;
        if (!old.rename(target))
            break;
        keptAside = target;
        return true;
    }
    // The leftover stays where it is, to be offered again at the next start.
    Stop(FileError(tr("не удаётся отложить журнал %1"), old));
    return false;
}

bool LogJournal::MarkLive()
{
    // A clean-end mark left in place would make a crash of this session look like a clean end.
    QFile mark(SlotPath(slot, closedSuffix));
    if (!mark.exists() || mark.remove())
        return true;
    Stop(FileError(tr("не удаётся снять отметку закрытия журнала %1"), mark));
    return false;
}

void LogJournal::StartWith(const QByteArray &contents)
{
    if (!MarkLive())
        return;
    file.setFileName(SlotPath(slot, journalSuffix));
    // Unbuffered: each append is one write to the system, and a short write shows at once.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        Stop(FileError(tr("не удаётся открыть журнал %1"), file));
        return;
    }
    started = true;
    Append(contents);
}

void LogJournal::Append(const QByteArray &bytes)
{
    if (!file.isOpen() || bytes.isEmpty())
        return;
    if (file.write(bytes) != bytes.size())
        Stop(FileError(tr("не удаётся записать журнал %1"), file));
}

void LogJournal::Clear()
{
    if (file.isOpen() && !file.resize(0))
        Stop(FileError(tr("не удаётся очистить журнал %1"), file));
}

void LogJournal::Stop(const QString &reason)
{
    file.close();
    if (stoppedOnce)
        return;
    stoppedOnce = true;
    emit stopped(reason);
}
