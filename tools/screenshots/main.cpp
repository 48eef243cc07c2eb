#include "app/mainwindow.h"
#include "session/devicesession.h"
#include "sim/converteremulator.h"
#include "sim/faultsettings.h"
#include "tests/support/paneldriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

constexpr int waitLimitMs = 30000;
constexpr int logLines = 12;
// The chart's run: an hour of log time at one line a second, half a second a tick.
constexpr int chartRunMs = 60 * 60 * 1000;
constexpr int chartTickMs = 500;

void Fail(const char *what)
{
    std::fprintf(stderr, "vornex-screenshots: %s\n", what);
    std::exit(1);
}

// Runs the event loop until the condition holds, so the poll timer and the emulator keep going.
void WaitFor(const std::function<bool()> &condition, const char *what)
{
    QEventLoop loop;
    QTimer check;
    check.setInterval(20);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    bool late = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        late = true;
        loop.quit();
    });
    check.start();
    deadline.start(waitLimitMs);
    if (!condition())
        loop.exec();
    if (late)
        Fail(what);
}

template <typename T> T *Find(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (found == nullptr)
        Fail(name);
    return found;
}

void Save(QWidget *widget, const QDir &folder, const char *file)
{
    const QString path = folder.filePath(QLatin1String(file));
    if (!widget->grab().save(path, "PNG"))
        Fail(file);
    std::fprintf(stderr, "%s\n", qPrintable(QDir::current().relativeFilePath(path)));
}

// A bench supply at work: 12 V into a 10 ohm load with a 1.5 A limit, so it runs in CV mode,
// with trimmed calibration and a few hours on the life counter.
void SetUpBench(ConverterEmulator &emulator)
{
    emulator.setPaced(false);
    emulator.setNoise(true);
    emulator.setLoadResistance(10.0);
    Setpoints setpoints;
    setpoints.voltage = 12000;
    setpoints.current = 1500;
    emulator.setSetpoints(setpoints);
    emulator.setOutputOn(true);

    CalibrationBlock calibration;
    calibration.kuDacVolt = 1004;
    calibration.kuAdcVolt = 997;
    calibration.kuDacCurr = 1012;
    calibration.kuAdcCurr = 993;
    calibration.kuAdcCurrFine = 1006;
    calibration.offDacVolt = 12;
    calibration.offAdcVolt = -7;
    calibration.offDacCurr = 4;
    calibration.offAdcCurr = -3;
    calibration.offAdcCurrFine = 25;
    calibration.rout = 2;
    emulator.setCalibration(calibration);

    UserParamBlock user = emulator.userParams();
    user.lifeCounter = 1284;
    emulator.setUserParams(user);
}

// The bench load over the chart's hour, in ohms: steady, a slow rise, a short current-limited
// stretch, steps, and back; 0 marks two minutes in which the converter does not answer.
double LoadAt(double minute)
{
    if (minute < 10)
        return 10;
    if (minute < 20)
        return 10 + 1.4 * (minute - 10);
    if (minute < 30)
        return 24;
    if (minute < 32)
        return 0;
    if (minute < 40)
        return 6;
    if (minute < 50)
        return 8 + 4 * int((minute - 40) / 3);
    return 10;
}

// Runs the log for an hour of log time through the chart page, ticking the window directly
// with an injected clock, the load following LoadAt.
void RunChart(MainWindow &window, ConverterEmulator &emulator)
{
    QTime now(8, 0, 0);
    window.SetLogClock(LogClock([&now] { return now; }));
    // This run is the only caller of the tick; the real timer would re-enter it from the
    // transaction's wait.
    for (QTimer *timer : window.findChildren<QTimer *>()) {
        if (timer->interval() == 250)
            timer->stop();
    }
    auto *dialog = Find<QDialog>(&window, "DialogSettingsLog");
    Find<QTimeEdit>(dialog, "timeEdit")->setTime(QTime(0, 0, 1));
    Find<QPushButton>(&window, "pushButtonLogClear")->click();
    Find<QPushButton>(&window, "pushButtonLogStart")->click();
    FaultSettings faults;
    for (int elapsed = 0; elapsed < chartRunMs;) {
        const double load = LoadAt(elapsed / 60000.0);
        faults.silent = load == 0;
        emulator.setFaults(faults);
        if (load > 0)
            emulator.setLoadResistance(load);
        // Unanswered requests wait for their time-out; the silent minutes go by in big steps.
        const int step = faults.silent ? 10 * 1000 : chartTickMs;
        now = now.addMSecs(step);
        elapsed += step;
        QMetaObject::invokeMethod(window.findChild<DeviceSession *>(), "TimeOut",
                                  Qt::DirectConnection);
    }
    emulator.setFaults(FaultSettings());
    Find<QPushButton>(&window, "pushButtoLogStop")->click();
    // The session notices a pulled adapter from its own polling.
    for (QTimer *timer : window.findChildren<QTimer *>()) {
        if (timer->interval() == 250)
            timer->start();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2)
        Fail("usage: vornex-screenshots <output folder>");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        Fail("cannot make the output folder");

    // The port as tools/run.sh offers it: a link that outlives the emulator's hang-ups.
    const QTemporaryDir runtime;
    const QString link = runtime.filePath(QStringLiteral("ttyVORNEX"));
    PanelDriver panel(link, link);
    if (!panel.started)
        Fail("the emulator did not start");
    ConverterEmulator &emulator = panel.emulator;
    SetUpBench(emulator);
    std::unique_ptr<MainWindow> &window = panel.window;

    panel.connectPort();
    auto *onOff = Find<QPushButton>(window.get(), "pushButtonOnOff");
    auto *adcVoltage = Find<QDoubleSpinBox>(window.get(), "doubleSpinBoxVsdadc");
    WaitFor([&] { return onOff->text() == QStringLiteral("Выключить") && adcVoltage->value() > 0; },
            "no live values from the emulator");

    // The log settings dialog, with the time column switched on for the log that follows.
    Find<QPushButton>(window.get(), "pushButtonLogParam")->click();
    auto *dialog = Find<QDialog>(window.get(), "DialogSettingsLog");
    WaitFor([&] { return dialog->isVisible(); }, "the log settings dialog did not open");
    Find<QCheckBox>(dialog, "checkBoxAddTime")->setChecked(true);
    Find<QComboBox>(dialog, "comboBoxTimeForm")->setCurrentIndex(0);
    Save(dialog, folder, "log-settings.png");
    dialog->close();

    auto *log = Find<QTextEdit>(window.get(), "textEditLog");
    Find<QPushButton>(window.get(), "pushButtonLogStart")->click();
    WaitFor([&] { return log->toPlainText().count(QLatin1Char('\n')) >= logLines; },
            "the log stayed empty");
    Find<QPushButton>(window.get(), "pushButtoLogStop")->click();

    const CalibrationBlock calibration = emulator.calibration();
    Find<QPushButton>(window.get(), "pushButtonReadCalibr")->click();
    auto *kuAdcVolt = Find<QSpinBox>(window.get(), "spinBoxKuAdcVolt");
    WaitFor([&] { return kuAdcVolt->value() == calibration.kuAdcVolt; },
            "the calibration was not read");

    const UserParamBlock user = emulator.userParams();
    Find<QPushButton>(window.get(), "pushButtonReadUserParam")->click();
    auto *lifeCounter = Find<QSpinBox>(window.get(), "spinBoxLifeCounter");
    WaitFor([&] { return lifeCounter->value() == user.lifeCounter; },
            "the user parameters were not read");

    // The pages in tab order; the chart after its own run.
    const char *const pages[] = {"panel.png", "log.png", "adc.png", "calibration.png",
                                 "user-params.png"};
    auto *tabs = Find<QTabWidget>(window.get(), "tabWidget");
    int page = 0;
    for (const char *file : pages) {
        tabs->setCurrentIndex(page++);
        Save(window.get(), folder, file);
    }
    tabs->setCurrentIndex(page);
    RunChart(*window, emulator);
    Save(window.get(), folder, "chart.png");

    // The adapter pulled while connected: the status bar says so, the displays look stale.
    tabs->setCurrentIndex(0);
    emulator.hangUp();
    auto *linkStatus = Find<QLabel>(window.get(), "labelLinkStatus");
    WaitFor([&] { return linkStatus->text().startsWith(QStringLiteral("Порт потерян")); },
            "the lost port was not noticed");
    Save(window.get(), folder, "lost-link.png");
    return 0;
}
