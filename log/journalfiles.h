#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Names and contents of the log journal's files, as pure functions.

// The name a declined or replaced journal is kept under: its last write as local date and time,
// with a counter from the second attempt on, so that a name in use is never overwritten.
QString KeptAsideFileName(const QDateTime &lastWritten, int attempt);

// The complete lines at the end of a journal. `tail` is the file's last part, or all of it when
// `wholeFile`; a line cut by the start of the tail and a last line without its line feed (the
// write a crash interrupted) are dropped. Other bytes pass unchanged.
QByteArray CompleteJournalLines(const QByteArray &tail, bool wholeFile);
