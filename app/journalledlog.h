#pragma once

#include "app/logview.h"

#include <QObject>

class LogJournal;
struct JournalLeftover;
class QStatusBar;
class QTextEdit;
class QWidget;

// The measurement log as the window keeps it: the grouped view and its journal on disk, kept
// equal line for line. At start-up it offers back a journal that a session which did not end
// cleanly left behind; when the journal cannot be written it says so once in the status bar and
// the log goes on in memory.
class JournalledLog : public QObject
{
    Q_OBJECT

public:
    // `window` is the parent of the restore question and of this object.
    JournalledLog(QTextEdit *view, QStatusBar *statusBar, QWidget *window);
    ~JournalledLog() override;

    // Opens this window's journal in the application's data folder and, when it finds a
    // leftover, asks whether to put its lines back into the view.
    void OpenJournal();

    void Append(const QString &line);
    void Clear();
    // The text the export writes.
    QString PlainText() const { return view.PlainText(); }

private:
    bool AskToRestore(int lines, const JournalLeftover &leftover) const;
    void ShowStopped(const QString &reason);

    LogView view;
    QStatusBar *statusBar = nullptr;
    QWidget *window = nullptr;
    LogJournal *journal = nullptr;
};
