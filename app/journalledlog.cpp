#include "app/journalledlog.h"

#include "log/logjournal.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>

namespace {
constexpr double bytesPerMiB = 1024.0 * 1024.0;
}

JournalledLog::JournalledLog(QTextEdit *view, QStatusBar *statusBar, QWidget *window)
    : QObject(window), view(view), statusBar(statusBar), window(window),
      journal(new LogJournal(LogJournal::DefaultFolder(), LogJournal::defaultRestoreLimit, this))
{
    connect(journal, &LogJournal::stopped, this, &JournalledLog::ShowStopped);
}

JournalledLog::~JournalledLog() = default;

void JournalledLog::OpenJournal()
{
    const std::optional<JournalLeftover> leftover = journal->Open();
    if (!leftover)
        return;
    const QString lines = QString::fromLocal8Bit(leftover->lines);
    if (lines.isEmpty() || !AskToRestore(lines.count(QLatin1Char('\n')), *leftover)) {
        journal->KeepAside();
        return;
    }
    view.Append(lines);
    // What the view holds is what the export would write; the journal goes on from exactly that.
    journal->Resume(view.PlainText().toLocal8Bit());
}

bool JournalledLog::AskToRestore(int lines, const JournalLeftover &leftover) const
{
    QString details =
        tr("Прошлый сеанс панели завершился аварийно, его лог остался в журнале "
           "(строк: %1, последняя запись %2).")
            .arg(lines)
            .arg(leftover.lastWritten.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    if (leftover.partial) {
        details +=
            QLatin1Char('\n') + tr("Журнал больше, чем вмещает лог: вернутся последние %1 МБ.")
                                    .arg(double(LogJournal::defaultRestoreLimit) / bytesPerMiB);
    }
    details += QLatin1Char('\n') +
               tr("Если начать пустой лог, журнал останется в папке %1 под именем с датой.")
                   .arg(QDir::toNativeSeparators(LogJournal::DefaultFolder()));
    QMessageBox box(QMessageBox::Question, tr("Восстановление лога"),
                    tr("Восстановить лог предыдущего сеанса?"), QMessageBox::Yes | QMessageBox::No,
                    window);
    box.setInformativeText(details);
    box.button(QMessageBox::Yes)->setText(tr("Восстановить"));
    box.button(QMessageBox::No)->setText(tr("Начать пустой лог"));
    box.setDefaultButton(QMessageBox::Yes);
    // Closing the box any other way declines, which keeps the journal aside: nothing is lost.
    return box.exec() == QMessageBox::Yes;
}

void JournalledLog::Append(const QString &line)
{
    // The journal first: what the operator has seen is on disk should the panel be killed.
    journal->Append(line.toLocal8Bit());
    view.Append(line);
}

void JournalledLog::Clear()
{
    view.Clear();
    journal->Clear();
}

void JournalledLog::ShowStopped(const QString &reason)
{
    // A widget rather than a message: the status tips of the toolbar would wipe a message. Cut
    // at the window's edge rather than widening it; the tip holds the whole text.
    auto *notice = new QLabel(
        tr("Журнал лога не пишется на диск: %1. Лог ведётся только в памяти.").arg(reason));
    notice->setObjectName(QStringLiteral("labelJournalStopped"));
    notice->setToolTip(notice->text());
    notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar->addWidget(notice, 1);
}
