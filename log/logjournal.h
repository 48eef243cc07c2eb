#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLockFile;

// A journal left behind by a session that did not end cleanly (a crash, a kill, a power cut).
struct JournalLeftover
{
    // The complete lines that can go back into the view: all of them, or the last part when the
    // file is larger than the restore limit.
    QByteArray lines;
    QDateTime lastWritten;
    bool partial = false;
};

// The log's copy on disk, one file per running window in the application's data folder. Every
// appended line goes straight to the operating system, so a crash or kill of the program loses
// nothing that was shown. Each window holds a lock on its journal, so two windows never share
// one, and a window only ever sees a leftover whose lock it could take. A clean end (the
// destructor) leaves a mark beside the journal; a journal without that mark is a leftover for
// the next start. Files are only ever appended to, emptied by Clear, or renamed aside: a journal
// the operator did not decline is never removed.
//
// Once the journal cannot be written (no folder, no free slot, disk full, file locked) it stops
// for the rest of the session and says so once through stopped(); the log goes on without it.
class LogJournal : public QObject
{
    Q_OBJECT

public:
    // A leftover larger than this is restored as its last part, with the whole file kept aside.
    static constexpr qint64 defaultRestoreLimit = 16 * 1024 * 1024;
    // Windows that may journal at the same time in one folder.
    static constexpr int slotCount = 8;

    // The application's data folder: named after the program, since it sets no names of its own.
    static QString DefaultFolder();

    explicit LogJournal(const QString &folder, qint64 restoreLimit = defaultRestoreLimit,
                        QObject *parent = nullptr);
    ~LogJournal() override;

    // Takes a journal slot, preferring one with a leftover. Without a leftover the journal
    // starts empty at once; with one, nothing is written until Resume or KeepAside decides.
    std::optional<JournalLeftover> Open();

    // After a restore: continues with `contents`, the bytes the log now holds. If the leftover
    // holds exactly those, it is appended to; otherwise (a line dropped, only the last part
    // restored, bytes the view cannot hold) it is kept aside and a new journal gets `contents`.
    void Resume(const QByteArray &contents);
    // The leftover was declined: keeps it aside under a dated name and starts empty.
    void KeepAside();

    void Append(const QByteArray &bytes);
    void Clear();

    bool IsWriting() const { return file.isOpen(); }
    // The journal of this window, empty when no slot could be taken.
    QString FilePath() const;
    // Where the last leftover was kept aside, empty if none was.
    QString KeptAsidePath() const { return keptAside; }

signals:
    // Journalling has stopped for this session; emitted once.
    void stopped(const QString &reason);

private:
    bool TakeSlot(int slot, std::unique_ptr<QLockFile> &lock) const;
    bool HasLeftover(int slot) const;
    JournalLeftover ReadLeftover() const;
    bool MoveLeftoverAside();
    bool MarkLive();
    void StartWith(const QByteArray &contents);
    void Stop(const QString &reason);
    QString SlotPath(int slot, const QString &suffix) const;

    QString folder;
    qint64 restoreLimit = defaultRestoreLimit;
    int slot = 0;
    std::unique_ptr<QLockFile> lock;
    QFile file;
    QString keptAside;
    // This session has written the slot's journal, so a clean end may mark it closed.
    bool started = false;
    bool stoppedOnce = false;
};
