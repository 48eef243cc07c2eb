// Test helper: a real panel on an emulated converter that logs until its log holds `lines`
// lines, stops the log, writes what the log shows to `shown` and then waits to be killed.
//
//     journalchild <application name> <lines> <shown>
//
// The application name decides the journal folder, so the test's own windows find its journal.

#include "app/mainwindow.h"
#include "log/logexport.h"
#include "settings/settingsstore.h"
#include "sim/converteremulator.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSettings>
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
        std::fprintf(stderr, "emulator: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("VORNEX_EXTRA_PORTS", emulator.serialPath().toLocal8Bit());

    // The log's clock runs fast, so that every status read is due for a line, each with its
    // own time column.
    QTime now(10, 0, 0);
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&now] { now = now.addMSecs(1000); });
    clock.start(50);

    const std::unique_ptr<QSettings> store = OpenSettingsStore();

    MainWindow window(store.get());
    window.SetLogClock(LogClock([&now] { return now; }));
    window.show();
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("DialogSettingsLog"));
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxAddTime"))->setChecked(true);
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxTimeForm"))->setCurrentIndex(0);
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("Подключить"))
            action->trigger();
    }
    window.findChild<QPushButton *>(QStringLiteral("pushButtonLogStart"))->click();

    auto *view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString text = view->toPlainText();
        if (text.count(QLatin1Char('\n')) < wanted)
            return;
        watch.stop();
        window.findChild<QPushButton *>(QStringLiteral("pushButtoLogStop"))->click();
        WriteLogFile(shownPath, view->toPlainText());
    });
    watch.start(20);
    return app.exec();
}
