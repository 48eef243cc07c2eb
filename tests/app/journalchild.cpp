// Test helper: a real panel on an emulated converter that logs until its log holds `lines`
// lines, stops the log, writes what the log shows to `shown` and then waits to be killed.
//
//     journalchild <application name> <lines> <shown>
//
// The application name decides the journal folder, so the test's own windows find its journal.

#include "log/logexport.h"
#include "tests/support/paneldriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: journalchild <application name> <lines> <shown>\n");
        return 2;
    }
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    const int wanted = std::atoi(argv[2]);
    const QString shownPath = QString::fromLocal8Bit(argv[3]);

    PanelDriver panel;
    if (!panel.started)
        return 1;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));

    // The log's clock runs fast, so that every status read is due for a line, each with its
    // own time column.
    QTime now(10, 0, 0);
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&now] { now = now.addMSecs(1000); });
    clock.start(50);

    panel.window->SetLogClock(LogClock([&now] { return now; }));
    auto *dialog = panel.widget<QDialog>("DialogSettingsLog");
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxAddTime"))->setChecked(true);
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxTimeForm"))->setCurrentIndex(0);
    panel.connectPort();
    panel.widget<QPushButton>("pushButtonLogStart")->click();

    auto *view = panel.widget<QTextEdit>("textEditLog");
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString text = view->toPlainText();
        if (text.count(QLatin1Char('\n')) < wanted)
            return;
        watch.stop();
        panel.widget<QPushButton>("pushButtoLogStop")->click();
        WriteLogFile(shownPath, view->toPlainText());
    });
    watch.start(20);
    return app.exec();
}
