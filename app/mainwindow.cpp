#include "app/mainwindow.h"

#include "app/lcdtext.h"
#include "app/linkstatustext.h"
#include "app/portcombobox.h"
#include "app/portlist.h"
#include "app/windowfit.h"
#include "chart/logchart.h"
#include "log/dialogsettingslog.h"
#include "log/journalledlog.h"
#include "log/logexport.h"
#include "log/logline.h"
#include "log/settingskeys.h"
#include "session/portchangewatch.h"
#include "session/setpointunits.h"
#include "ui_mainwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLCDNumber>
#include <QLabel>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSettings>

namespace {

const char *const ledGreen = ":/new/prefix1/rec/LED_ON_GREEN.png";
const char *const ledRed = ":/new/prefix1/rec/LED_ON_RED.png";
const char *const ledOff = ":/new/prefix1/rec/LED_OFF.png";

// The port list is filled again at most this often when ports come and go.
constexpr int portRefreshMs = 2000;

// Where ports come and go: the system's device folder and those of the extra port paths.
QStringList PortFolders(const QString &extraPorts)
{
    QStringList folders;
    // The system's serial ports live in /dev where there is one; Windows names its ports, in no
    // folder, and the watch then falls back to its interval. A second listing of the ports only
    // to find their folders would cost another 10 ms at start-up.
    if (QFileInfo(QStringLiteral("/dev")).isDir())
        folders << QStringLiteral("/dev");
    for (const QString &extra : extraPorts.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        if (QFileInfo(extra).isAbsolute())
            folders << QFileInfo(extra).absolutePath();
    }
    return folders;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    session = new DeviceSession(this);

    portLabel = new QLabel(tr("  Номер\n  порта"));
    portComboBox = new PortComboBox;
    portComboBox->setObjectName(QStringLiteral("portComboBox"));

    logDialog = new DialogSettingsLog(this);

    extraPorts = qEnvironmentVariable("VORNEX_EXTRA_PORTS");
    RefreshPorts();
    portWatch = new PortChangeWatch(PortFolders(extraPorts), portRefreshMs, this);
    connect(portWatch, &PortChangeWatch::changed, this, &MainWindow::RefreshPortsIfIdle);
    connect(portComboBox, &PortComboBox::aboutToShowPopup, this, &MainWindow::RefreshPorts);

    portLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont labelFont = portLabel->font();
    labelFont.setBold(true);
    portLabel->setFont(labelFont);
    portLabel->setMinimumWidth(60);
    portComboBox->setFixedHeight(25);
    portComboBox->setFixedWidth(65);

    CreateActions();

    ui->tabWidget->setTabText(0, tr("Панель"));
    ui->tabWidget->setTabText(1, tr("Лог"));
    ui->tabWidget->setTabText(2, tr("АЦП"));
    ui->tabWidget->setTabText(3, tr("Калибр."));
    ui->tabWidget->setTabText(4, tr("UserMenu"));
    ui->tabWidget->setTabText(5, tr("График"));

    lampGreen.load(ledGreen);
    lampRed.load(ledRed);
    lampOff.load(ledOff);
    ui->label_cc->setPixmap(lampRed);
    ui->label_cv->setPixmap(lampGreen);

    ui->lcdNumberA->display(0);
    ui->lcdNumberV->display(0);

    ui->tab->setEnabled(false);

    connect(session, &DeviceSession::pollDue, this, &MainWindow::TimeOut);
    connect(ui->pushButtonApply, &QPushButton::clicked, this, &MainWindow::ApplyParam);
    connect(ui->pushButtonOnOff, &QPushButton::clicked, this, &MainWindow::OnOff);
    connect(ui->pushButtonReadCalibr, &QPushButton::clicked, this, &MainWindow::ReadParam);
    connect(ui->pushButtonApplyCalibr, &QPushButton::clicked, this, &MainWindow::WriteParam);
    connect(ui->pushButtonReadUserParam, &QPushButton::clicked, this, &MainWindow::ReadUserParam);
    connect(ui->pushButtonApplyUserParam, &QPushButton::clicked, this, &MainWindow::WriteUserParam);
    connect(ui->pushButtonLogParam, &QPushButton::clicked, logDialog, &QDialog::show);
    connect(ui->pushButtoLogStop, &QPushButton::clicked, this, &MainWindow::StopLog);
    connect(ui->pushButtonLogStart, &QPushButton::clicked, this, &MainWindow::StartLog);
    connect(ui->pushButtonLogClear, &QPushButton::clicked, this, &MainWindow::ClearLog);
    connect(ui->pushButtonLogSave, &QPushButton::clicked, this, &MainWindow::SaveAsFile);

    connect(session, &DeviceSession::linkStateChanged, this, &MainWindow::ShowLinkState);
    connect(session, &DeviceSession::statusRead, this, &MainWindow::ShowStatus);
    connect(session, &DeviceSession::adcRead, this, &MainWindow::ShowAdc);
    connect(session, &DeviceSession::setpointsRead, this, &MainWindow::ShowSetpoints);
    connect(session, &DeviceSession::calibrationRead, this, &MainWindow::ShowCalibration);
    connect(session, &DeviceSession::userParamsRead, this, &MainWindow::ShowUserParams);
    connect(session, &DeviceSession::readFailed, this, &MainWindow::HandleReadFailure);
    connect(session, &DeviceSession::writeFailed, this, &MainWindow::HandleWriteFailure);

    ui->pushButtoLogStop->setEnabled(false);
    ui->pushButtonLogStart->setEnabled(true);
    ui->pushButtonReadCalibr->setEnabled(false);
    ui->pushButtonApplyCalibr->setEnabled(false);

    ui->pushButtoLogStop->setIcon(QIcon(":/new/prefix1/rec/stop.png"));
    ui->pushButtonLogStart->setIcon(QIcon(":/new/prefix1/rec/start.png"));
    ui->pushButtonLogClear->setIcon(QIcon(":/new/prefix1/rec/Clear2.png"));
    ui->pushButtonLogParam->setIcon(QIcon(":/new/prefix1/rec/executable-script-icon.png"));
    ui->pushButtonLogSave->setIcon(QIcon(":/new/prefix1/rec/SaveAs2.png"));

    ui->labelAmA->setText("   A");

    linkStatus = new QLabel;
    linkStatus->setObjectName(QStringLiteral("labelLinkStatus"));
    // A long port path is cut at the window's edge rather than widening the window.
    linkStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui->statusBar->addWidget(linkStatus, 1);

    // The view only ever grows by appended lines; an undo history of them would double the
    // memory of a week-long log for nothing.
    ui->textEditLog->document()->setUndoRedoEnabled(false);
    journalledLog = new JournalledLog(ui->textEditLog, ui->statusBar, this);
    journalledLog->OpenJournal();

    // The fine-range pair is never edited on the page; until the device has been read it goes
    // out as the boxes' initial values rather than as anything undefined.
    calibration.kuAdcCurrFine = ui->spinBoxKuAdcCurrFune->value();
    calibration.offAdcCurrFine = ui->spinBoxOffAdcCurrFine->value();

    ui->logChart->SetSettingsStore(logDialog->Settings());
    FitWindowToContents(*this, *ui->tabWidget);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::CreateActions()
{
    connectAction = new QAction(QIcon(":/new/prefix1/rec/connect.png"), tr("Подключить"), this);
    connectAction->setStatusTip(tr("Подключить прибор"));
    connect(connectAction, &QAction::triggered, this, &MainWindow::OpenPort);

    disconnectAction =
        new QAction(QIcon(":/new/prefix1/rec/disconnect.png"), tr("Отключить"), this);
    disconnectAction->setStatusTip(tr("Отключить прибор"));
    connect(disconnectAction, &QAction::triggered, this, &MainWindow::ClosePort);

    aboutAction = new QAction(QIcon(":/new/prefix1/rec/about.png"), tr("О программе"), this);
    aboutAction->setStatusTip(tr("О программе"));
    connect(aboutAction, &QAction::triggered, this, &MainWindow::About);

    ui->mainToolBar->addAction(connectAction);
    ui->mainToolBar->addAction(disconnectAction);
    ui->mainToolBar->addSeparator();
    ui->mainToolBar->addWidget(portLabel);
    ui->mainToolBar->addWidget(portComboBox);
    ui->mainToolBar->addSeparator();
    ui->mainToolBar->addSeparator();
    ui->mainToolBar->addAction(aboutAction);
    ui->mainToolBar->setIconSize(QSize(32, 32));

    connectAction->setEnabled(true);
    disconnectAction->setEnabled(false);
}

void MainWindow::OpenPort()
{
    if (!session->Open(portComboBox->currentText())) {
        ShowCritical(QStringLiteral("Не удается открыть порт"));
        return;
    }
    ui->pushButtonReadCalibr->setEnabled(true);
    ui->pushButtonApplyCalibr->setEnabled(true);
}

void MainWindow::ClosePort()
{
    session->Close();
    // The time until the next connection has no samples; the chart must not join across it.
    ui->logChart->BreakTrace();
    ui->pushButtonReadCalibr->setEnabled(false);
    ui->pushButtonApplyCalibr->setEnabled(false);
}

// The session has opened or closed the port; the controls follow before the setpoint read.
void MainWindow::ShowLinkState(DeviceSession::LinkState state)
{
    const bool connected = state != DeviceSession::LinkState::Disconnected;
    connectAction->setEnabled(!connected);
    disconnectAction->setEnabled(connected);
    portComboBox->setEnabled(!connected);
    ui->tab->setEnabled(connected);
    linkStatus->setText(LinkStatusText(state, session->PortName()));
    linkStatus->setToolTip(linkStatus->text());
    if (state == DeviceSession::LinkState::NoAnswer ||
        state == DeviceSession::LinkState::PortLost) {
        ShowPanelStale(true);
        ShowAdcStale(true);
    }
    if (state == DeviceSession::LinkState::Connected) {
        // After a recovery the adapter may be back under another name.
        SelectPort(session->PortName());
        logDialog->Settings()->setValue(SettingsKeys::lastPort, session->PortName());
    }
}

void MainWindow::ShowPanelStale(bool stale)
{
    if (stale == panelStale)
        return;
    panelStale = stale;
    for (QWidget *widget :
         {static_cast<QWidget *>(ui->lcdNumberV), static_cast<QWidget *>(ui->lcdNumberA),
          static_cast<QWidget *>(ui->label_cv), static_cast<QWidget *>(ui->label_cc)})
        widget->setEnabled(!stale);
}

void MainWindow::ShowAdcStale(bool stale)
{
    if (stale == adcStale)
        return;
    adcStale = stale;
    for (QWidget *box : {ui->doubleSpinBoxVsdadc, ui->doubleSpinBoxCsdadc, ui->doubleSpinBoxVin,
                         ui->doubleSpinBoxVref})
        box->setEnabled(!stale);
}

void MainWindow::RefreshPorts()
{
    QStringList enumerated;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        enumerated << info.portName();
    const QStringList names = PortNames(
        enumerated, extraPorts, [](const QString &path) { return QFileInfo::exists(path); });
    QStringList shown;
    for (int i = 0; i < portComboBox->count(); ++i)
        shown << portComboBox->itemText(i);
    const QString current = portComboBox->currentText();
    if (names != shown) {
        portComboBox->clear();
        portComboBox->addItems(names);
    }
    const QString remembered = logDialog->Settings()->value(SettingsKeys::lastPort).toString();
    portComboBox->setCurrentIndex(PortToSelect(names, current, remembered));
}

// While connected the list is locked; an open list is left alone under the operator's hand.
void MainWindow::RefreshPortsIfIdle()
{
    if (portComboBox->isEnabled() && !portComboBox->view()->isVisible())
        RefreshPorts();
}

void MainWindow::SelectPort(const QString &name)
{
    if (portComboBox->findText(name) < 0)
        RefreshPorts();
    const int index = portComboBox->findText(name);
    if (index >= 0)
        portComboBox->setCurrentIndex(index);
}

void MainWindow::TimeOut()
{
    session->Poll();
    LogStep();
}

void MainWindow::ApplyParam()
{
    session->RequestSetpointsWrite([this] { return SetpointsFromBoxes(); });
}

void MainWindow::OnOff()
{
    session->RequestOutputSwitch();
}

void MainWindow::ReadParam()
{
    session->RequestCalibrationRead();
}

void MainWindow::WriteParam()
{
    session->RequestCalibrationWrite([this] { return CalibrationFromBoxes(); });
}

void MainWindow::ReadUserParam()
{
    session->RequestUserParamsRead();
}

void MainWindow::WriteUserParam()
{
    session->RequestUserParamsWrite([this] { return UserParamsFromBoxes(); });
}

void MainWindow::HandleReadFailure(DeviceSession::Block block)
{
    switch (block) {
    case DeviceSession::Block::Status:
        logRecorder.StatusRead(false);
        break;
    case DeviceSession::Block::Adc:
        logRecorder.AdcRead(false);
        break;
    case DeviceSession::Block::Calibration:
    case DeviceSession::Block::UserParams:
        ShowCritical(QStringLiteral("Ошибка чтения"));
        break;
    case DeviceSession::Block::Setpoints:
    case DeviceSession::Block::Output:
        break;
    }
}

void MainWindow::HandleWriteFailure()
{
    ShowCritical(QStringLiteral("Ошибка записи"));
}

void MainWindow::ShowStatus(const OutputStatus &status)
{
    logRecorder.StatusRead(true);
    ShowPanelStale(false);
    ShowReading(ui->lcdNumberV, shownVoltage, LcdText(status.voltage, 1, 4));
    ShowReading(ui->lcdNumberA, shownCurrent, CurrentLcdText(status.current, status.currentRange));
    ShowLamp(ui->label_cc, status.ccMode != 0 ? lampRed : lampOff);
    ShowLamp(ui->label_cv, status.cvMode != 0 ? lampGreen : lampOff);
    ui->pushButtonOnOff->setText(status.outputOn != 0 ? QStringLiteral("Выключить")
                                                      : QStringLiteral("Включить"));
}

// Repainting a display or lamp that shows the same thing again costs more CPU than the whole
// transaction, so only changes reach the widgets.
void MainWindow::ShowReading(QLCDNumber *display, QString &shown, const QString &text)
{
    if (text == shown)
        return;
    display->display(text);
    shown = text;
}

void MainWindow::ShowLamp(QLabel *lamp, const QPixmap &image)
{
    if (lamp->pixmap(Qt::ReturnByValue).cacheKey() != image.cacheKey())
        lamp->setPixmap(image);
}

void MainWindow::ShowAdc(const AdcReadings &adc)
{
    logRecorder.AdcRead(true);
    ShowAdcStale(false);
    ShowAdcReading(ui->doubleSpinBoxVsdadc, adc.sdadcVoltage / 1000.0);
    ShowAdcReading(ui->doubleSpinBoxCsdadc, adc.sdadcCurrent / 1000.0);
    ShowAdcReading(ui->doubleSpinBoxVin, adc.inputVoltage / 1000.0);
    ShowAdcReading(ui->doubleSpinBoxVref, adc.referenceVoltage / 1000.0);
}

// Setting a box re-lays its text out even when the value is the same; a reading in thousandths
// is exactly what a three-decimal box holds, so an unchanged one compares equal.
void MainWindow::ShowAdcReading(QDoubleSpinBox *box, double value)
{
    if (box->value() != value)
        box->setValue(value);
}

void MainWindow::ShowSetpoints(const Setpoints &setpoints)
{
    ui->doubleSpinBoxV->setValue(setpoints.voltage / 1000.0);
    ui->doubleSpinBoxA->setValue(setpoints.current / 1000.0);
}

// Each attempt of a setpoint write takes what the boxes hold at that moment.
Setpoints MainWindow::SetpointsFromBoxes() const
{
    return Setpoints{SetpointMilli(ui->doubleSpinBoxV->value()),
                     SetpointMilli(ui->doubleSpinBoxA->value())};
}

void MainWindow::ShowCalibration(const CalibrationBlock &block)
{
    calibration = block;
    ui->spinBoxKuAdcCurr->setValue(calibration.kuAdcCurr);
    ui->spinBoxKuAdcVolt->setValue(calibration.kuAdcVolt);
    ui->spinBoxKuDacCurr->setValue(calibration.kuDacCurr);
    ui->spinBoxKuDacVolt->setValue(calibration.kuDacVolt);
    ui->spinBoxOffAdcCurr->setValue(calibration.offAdcCurr);
    ui->spinBoxOffAdcVolt->setValue(calibration.offAdcVolt);
    ui->spinBoxOffDacCurr->setValue(calibration.offDacCurr);
    ui->spinBoxOffDacVolt->setValue(calibration.offDacVolt);
    ui->spinBoxRout->setValue(calibration.rout);
    // The fine-range pair is shown as read; it is sent back from the record, not the boxes.
    ui->spinBoxKuAdcCurrFune->setValue(calibration.kuAdcCurrFine);
    ui->spinBoxOffAdcCurrFine->setValue(calibration.offAdcCurrFine);
}

CalibrationBlock MainWindow::CalibrationFromBoxes()
{
    calibration.kuAdcCurr = ui->spinBoxKuAdcCurr->value();
    calibration.kuAdcVolt = ui->spinBoxKuAdcVolt->value();
    calibration.kuDacCurr = ui->spinBoxKuDacCurr->value();
    calibration.kuDacVolt = ui->spinBoxKuDacVolt->value();
    calibration.offAdcCurr = ui->spinBoxOffAdcCurr->value();
    calibration.offAdcVolt = ui->spinBoxOffAdcVolt->value();
    calibration.offDacCurr = ui->spinBoxOffDacCurr->value();
    calibration.offDacVolt = ui->spinBoxOffDacVolt->value();
    calibration.rout = ui->spinBoxRout->value();
    return calibration;
}

void MainWindow::ShowUserParams(const UserParamBlock &block)
{
    userParams = block;
    ui->spinBoxNVPstatus->setValue(userParams.nvpStatus);
    ui->spinBoxLifeCounter->setValue(userParams.lifeCounter);
    ui->spinBoxCurrTrigStat->setValue(userParams.currTrigStat);
    ui->spinBoxCurrTrigTime->setValue(userParams.currTrigTime);
    ui->spinBoxIoutMax->setValue(userParams.ioutMax);
    ui->spinBoxUoutMax->setValue(userParams.uoutMax);
    ui->spinBoxPoutMax->setValue(userParams.poutMax);
    ui->spinBoxRoutUser->setValue(userParams.routUser);
    ui->spinBoxFanGainCurrent->setValue(userParams.fanGainCurrent);
    ui->spinBoxFanDelay->setValue(userParams.fanDelay);
    ui->spinBoxFanDutyOff->setValue(userParams.fanDutyOff);
}

UserParamBlock MainWindow::UserParamsFromBoxes()
{
    userParams.nvpStatus = ui->spinBoxNVPstatus->value();
    userParams.currTrigStat = ui->spinBoxCurrTrigStat->value();
    userParams.currTrigTime = ui->spinBoxCurrTrigTime->value();
    userParams.ioutMax = ui->spinBoxIoutMax->value();
    userParams.uoutMax = ui->spinBoxUoutMax->value();
    userParams.poutMax = ui->spinBoxPoutMax->value();
    userParams.routUser = ui->spinBoxRoutUser->value();
    userParams.fanGainCurrent = ui->spinBoxFanGainCurrent->value();
    userParams.fanDelay = ui->spinBoxFanDelay->value();
    userParams.fanDutyOff = ui->spinBoxFanDutyOff->value();
    return userParams;
}

void MainWindow::StartLog()
{
    logRecorder.Start();
    ui->pushButtoLogStop->setEnabled(true);
    ui->pushButtonLogStart->setEnabled(false);
    ui->logChart->BeginRun();
}

void MainWindow::StopLog()
{
    logRecorder.Stop();
    ui->pushButtoLogStop->setEnabled(false);
    ui->pushButtonLogStart->setEnabled(true);
}

void MainWindow::ClearLog()
{
    journalledLog->Clear();
    ui->logChart->Clear();
}

void MainWindow::LogStep()
{
    logDialog->GetSettings(logSettings);
    logRecorder.SetSettings(logSettings);
    const LogStepResult step = logRecorder.Step(session->Status(), session->Adc());
    if (!step.periodDue)
        return;
    ui->logChart->AddPeriod(logRecorder.LogClockTime(),
                            step.entry ? std::optional<LogSample>(step.entry->sample)
                                       : std::nullopt);
    if (step.entry)
        AppendLogLine(step.entry->line);
}

// New lines always go to the end of the document: inserting at the operator's cursor would
// put them mid-log, or replace a selected part of it.
void MainWindow::AppendLogLine(const QString &line)
{
    journalledLog->Append(line);
}

void MainWindow::SaveAsFile()
{
    QSettings *store = logDialog->Settings();
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save File"), LogExportStartFolder(*store), tr("Текстовый файл (*.txt)"));
    if (fileName.isEmpty())
        return;
    StoreLogExportFolder(*store, fileName);
    if (!WriteLogFile(fileName, journalledLog->PlainText()))
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удается сохранить файл"), QMessageBox::Ok);
}

void MainWindow::About()
{
    const QString text =
        tr("<p><b>VORNEXcontrol</b> %1</p>"
           "<p>Панель управления программируемыми DC-DC преобразователями VORNEX "
           "через последовательный порт.</p>"
           "<p>Работает на Qt %2.</p>"
           "<p>Разработано участниками открытого проекта VORNEXcontrol.</p>"
           "<p><a href=\"https://www.qt.io/\">https://www.qt.io/</a></p>")
            .arg(QStringLiteral(VORNEXCONTROL_VERSION), QString::fromLatin1(qVersion()));
    QMessageBox::about(this, tr("О программе"), text);
}

void MainWindow::ShowCritical(const QString &text)
{
    QMessageBox::critical(this, tr("Error"), text, QMessageBox::Ok);
}
