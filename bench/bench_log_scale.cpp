// The measurement log at the scale of a week at one line a second: cost of one logging tick at
// the start, middle and end, memory per 100,000 lines, and the cost of exporting it all.
//
//     bench_log_scale [lines, default 604800]
//
// The real window is connected to an in-process emulator that answers at once; the log clock
// is injected and moves half a second per tick, and the tick is invoked directly (one line every
// other tick, when the status read has come back). A tick still costs a pty round trip of about
// 2 ms, so only batches at the start, middle and end run real ticks; the lines between them go
// into the same view the way the window appends them (end of document, cursor follows), which
// is what decides how the document grows.

#include "app/mainwindow.h"
#include "bench/benchprocess.h"
#include "log/logexport.h"
#include "sim/converteremulator.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int batchLines = 2000;
constexpr int tickAdvanceMs = 500;

FILE *out = stdout;

double ResidentMiB()
{
    return ResidentKiB() / 1024.0;
}

double Median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

class LogRun
{
public:
    explicit LogRun(MainWindow &window, QTime &now) : window(window), now(now)
    {
        view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
    }

    int lines() const { return lineCount; }

    // Ticks until `count` more lines are in the log; returns the duration of each tick that
    // appended a line, in microseconds.
    QVector<double> tickUntil(int count)
    {
        QVector<double> appending;
        const int target = lineCount + count;
        QElapsedTimer timer;
        while (lineCount < target) {
            now = now.addMSecs(tickAdvanceMs);
            const int blocksBefore = view->document()->blockCount();
            timer.start();
            QMetaObject::invokeMethod(&window, "TimeOut", Qt::DirectConnection);
            const double us = double(timer.nsecsElapsed()) / 1000.0;
            if (view->document()->blockCount() > blocksBefore) {
                ++lineCount;
                appending.append(us);
            }
        }
        return appending;
    }

    // Appends lines as the window does, without the transaction; returns the duration of each
    // append in microseconds.
    QVector<double> fill(int count)
    {
        QVector<double> appends;
        appends.reserve(count);
        QElapsedTimer timer;
        for (int i = 0; i < count; ++i) {
            const QString line =
                QTime(0, 0).addSecs(lineCount).toString(QStringLiteral("hh:mm:ss")) +
                QStringLiteral(" 12.340 0.5670\n");
            timer.start();
            QTextCursor end(view->document());
            end.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
            end.insertText(line);
            if (!view->textCursor().hasSelection())
                view->setTextCursor(end);
            appends.append(double(timer.nsecsElapsed()) / 1000.0);
            ++lineCount;
        }
        return appends;
    }

private:
    MainWindow &window;
    QTime &now;
    QTextEdit *view = nullptr;
    int lineCount = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    const int totalLines = argc > 1 ? qMax(8 * batchLines, atoi(argv[1])) : 604800;
    QTemporaryDir config;
    out = PrepareBenchProcess(config);

    QApplication app(argc, argv);
    ConverterEmulator emulator;
    emulator.setPaced(false);
    OutputStatus status;
    status.voltage = 1234;
    status.current = 567;
    status.cvMode = 1;
    status.outputOn = 1;
    emulator.setFixedStatus(status);
    QString error;
    if (!emulator.start(&error)) {
        std::fprintf(out, "emulator: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("VORNEX_EXTRA_PORTS", emulator.serialPath().toLocal8Bit());

    QTime now(0, 0, 0);
    MainWindow window;
    window.SetLogClock(LogClock([&now] { return now; }));
    window.show();
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("DialogSettingsLog"));
    dialog->findChild<QTimeEdit *>(QStringLiteral("timeEdit"))->setTime(QTime(0, 0, 1));
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxLogValue"))->setCurrentIndex(0);
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxAddTime"))->setChecked(true);
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxTimeForm"))->setCurrentIndex(0);
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("Подключить"))
            action->trigger();
    }
    // This run is the only caller of the tick; the real timer would re-enter it from the
    // transaction's wait.
    for (QTimer *timer : window.findChildren<QTimer *>()) {
        if (timer->interval() == 250)
            timer->stop();
    }
    window.findChild<QPushButton *>(QStringLiteral("pushButtonLogStart"))->click();

    LogRun run(window, now);
    QElapsedTimer wall;
    wall.start();
    const double rssStart = ResidentMiB();
    const double startTick = Median(run.tickUntil(batchLines));
    const double startAppend = Median(run.fill(batchLines));
    run.fill(totalLines / 2 - run.lines() - batchLines);
    const double rssMiddle = ResidentMiB();
    const double middleTick = Median(run.tickUntil(batchLines));
    const double middleAppend = Median(run.fill(batchLines));
    run.fill(totalLines - run.lines() - 2 * batchLines);
    const double endAppend = Median(run.fill(batchLines));
    const double endTick = Median(run.tickUntil(batchLines));
    const double rssEnd = ResidentMiB();
    const double fillSeconds = double(wall.elapsed()) / 1000.0;

    // The same ticks with the log stopped: what the transaction costs without the append.
    window.findChild<QPushButton *>(QStringLiteral("pushButtoLogStop"))->click();
    QVector<double> quiet;
    QElapsedTimer timer;
    for (int i = 0; i < 2 * batchLines; ++i) {
        now = now.addMSecs(tickAdvanceMs);
        timer.start();
        QMetaObject::invokeMethod(&window, "TimeOut", Qt::DirectConnection);
        quiet.append(double(timer.nsecsElapsed()) / 1000.0);
    }
    const double quietTick = Median(quiet);

    auto *view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
    timer.start();
    const QString text = view->toPlainText();
    const double plainMs = double(timer.nsecsElapsed()) / 1e6;
    QTemporaryDir exportDir;
    const QString file = exportDir.filePath(QStringLiteral("week.txt"));
    timer.start();
    const bool written = WriteLogFile(file, text);
    const double writeMs = double(timer.nsecsElapsed()) / 1e6;

    std::fprintf(out, "bench_log_scale: %d lines (%d fake seconds), filled in %.1f s\n",
                 run.lines(), run.lines(), fillSeconds);
    std::fprintf(out, "logging tick (status read + log line), median of %d:\n", batchLines);
    std::fprintf(out, "  start   %8.1f us\n", startTick);
    std::fprintf(out, "  middle  %8.1f us   (%.2f x start)\n", middleTick, middleTick / startTick);
    std::fprintf(out, "  end     %8.1f us   (%.2f x start, goal <= 1.5)\n", endTick,
                 endTick / startTick);
    std::fprintf(out, "  same tick with the log stopped, at the end: %.1f us (%.2f x start)\n",
                 quietTick, quietTick / startTick);
    std::fprintf(out, "append alone (insert at the end, cursor follows), median of %d:\n",
                 batchLines);
    std::fprintf(out, "  start   %8.1f us\n", startAppend);
    std::fprintf(out, "  middle  %8.1f us   (%.2f x start)\n", middleAppend,
                 middleAppend / startAppend);
    std::fprintf(out, "  end     %8.1f us   (%.2f x start, goal <= 1.5)\n", endAppend,
                 endAppend / startAppend);
    std::fprintf(out, "resident memory: start %.1f MiB, middle %.1f MiB, end %.1f MiB\n", rssStart,
                 rssMiddle, rssEnd);
    std::fprintf(out, "  growth %.2f MiB per 100,000 lines (text %.2f MiB per 100,000 lines)\n",
                 (rssEnd - rssStart) * 100000.0 / run.lines(),
                 double(text.size()) * 2.0 * 100000.0 / run.lines() / (1024.0 * 1024.0));
    std::fprintf(out, "export: toPlainText %.1f ms, WriteLogFile %.1f ms (%s, %lld bytes)\n",
                 plainMs, writeMs, written ? "written" : "FAILED",
                 static_cast<long long>(QFile(file).size()));
    std::fprintf(out, "  total %.1f ms (goal < 1000 ms: %.2f of goal)\n", plainMs + writeMs,
                 (plainMs + writeMs) / 1000.0);
    std::fflush(out);
    window.close();
    emulator.stop();
    return 0;
}
