#include "app/mainwindow.h"

#include "app/blockpage.h"
#include "app/dialogprotection.h"
#include "app/dialogsettingslog.h"
#include "app/energycountersview.h"
#include "app/errorboxes.h"
#include "app/journalledlog.h"
#include "app/linkstatustext.h"
#include "app/logchart.h"
#include "app/portcombobox.h"
#include "app/readingdisplays.h"
#include "app/remotecontrolmenu.h"
#include "app/setpointcaps.h"
#include "app/tripstatus.h"
#include "app/windowfit.h"
#include "guard/deviceguard.h"
#include "link/quantities.h"
#include "log/logexport.h"
#include "log/logjournal.h"
#include "log/sessionlogger.h"
#include "remote/scpiserver.h"
#include "session/portcatalog.h"
#include "ui_mainwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QToolButton>

MainWindow::MainWindow(QSettings *store, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), store(store)
{
    ui->setupUi(this);

    session = new DeviceSession(this);
    guard = new DeviceGuard(session, store, LogJournal::DefaultFolder(), this);
    errorBoxes = new ErrorBoxes(this);

    portLabel = new QLabel(tr("  Номер\n  порта"));
    portComboBox = new PortComboBox;
    portComboBox->setObjectName(QStringLiteral("portComboBox"));

    logDialog = new DialogSettingsLog(store, this);

    logger = new SessionLogger(session, LogSettings(), this);
    logger->SetSettingsSource([this] {
        LogSettings settings;
        logDialog->GetSettings(settings);
        return settings;
    });
    connect(logger, &SessionLogger::periodEnded, ui->logChart, &LogChart::AddPeriod);

    ports = new PortCatalog(store, this);
    RefreshPorts();
    connect(ports, &PortCatalog::mayHaveChanged, this, &MainWindow::RefreshPortsIfIdle);
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

    displays = std::make_unique<ReadingDisplays>(*ui);

    ui->tab->setEnabled(false);

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
    connect(session, &DeviceSession::statusRead, this,
            [this](const OutputStatus &status) { displays->ShowStatus(status); });
    connect(session, &DeviceSession::adcRead, this,
            [this](const AdcReadings &adc) { displays->ShowAdc(adc); });
    connect(session, &DeviceSession::setpointsRead, this, &MainWindow::ShowSetpoints);
    connect(session, &DeviceSession::calibrationRead, this, &MainWindow::ShowCalibration);
    connect(session, &DeviceSession::userParamsRead, this, &MainWindow::ShowUserParams);
    connect(session, &DeviceSession::readFailed, this, &MainWindow::HandleReadFailure);
    connect(session, &DeviceSession::writeFailed, errorBoxes,
            [this] { errorBoxes->Show(QStringLiteral("Ошибка записи")); });

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
    InstallStatusLines(new RemoteControlMenu(new ScpiServer(session, guard, this), store, this));

    new EnergyCountersView(guard, *ui->gridLayout_6, this);
    // The boxes follow the caps whenever the guard's settings change.
    CapSetpointBoxes(*ui->doubleSpinBoxV, *ui->doubleSpinBoxA, guard->Settings());
    connect(guard, &DeviceGuard::settingsChanged, this, [this] {
        CapSetpointBoxes(*ui->doubleSpinBoxV, *ui->doubleSpinBoxA, guard->Settings());
    });

    // The view only ever grows by appended lines; an undo history of them would double the
    // memory of a week-long log for nothing.
    ui->textEditLog->document()->setUndoRedoEnabled(false);
    journalledLog = new JournalledLog(ui->textEditLog, ui->statusBar, this);
    journalledLog->OpenJournal();
    // New lines always go to the end of the document: inserting at the operator's cursor would
    // put them mid-log, or replace a selected part of it.
    connect(logger, &SessionLogger::lineDue, journalledLog,
            [this](const LogEntry &entry) { journalledLog->Append(entry.line); });

    // The fine-range pair is never edited on the page; until the device has been read it goes
    // out as the boxes' initial values rather than as anything undefined.
    calibrationPage.emplace(*ui->tab_3, CalibrationFields);
    userParamPage.emplace(*ui->tab_5, UserParamFields);
    calibration = calibrationPage->Shown();

    ui->logChart->SetSettingsStore(store);

    // Scripts share the session; what they change shows here as a click's change would.
    connect(session, &DeviceSession::setpointsWritten, this, &MainWindow::ShowWrittenSetpoints);

    FitWindowToContents(*this, *ui->tabWidget);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::SetLogClock(const LogClock &clock)
{
    logger->SetClock(clock);
}

void MainWindow::CreateActions()
{
    connectAction = new QAction(QIcon(":/new/prefix1/rec/connect.png"), tr("Подключить"), this);
    connectAction->setObjectName(QStringLiteral("actionConnect"));
    connectAction->setStatusTip(tr("Подключить прибор"));
    connect(connectAction, &QAction::triggered, this, &MainWindow::OpenPort);

    disconnectAction =
        new QAction(QIcon(":/new/prefix1/rec/disconnect.png"), tr("Отключить"), this);
    disconnectAction->setObjectName(QStringLiteral("actionDisconnect"));
    disconnectAction->setStatusTip(tr("Отключить прибор"));
    connect(disconnectAction, &QAction::triggered, this, &MainWindow::ClosePort);

    aboutAction = new QAction(QIcon(":/new/prefix1/rec/about.png"), tr("О программе"), this);
    aboutAction->setObjectName(QStringLiteral("actionAbout"));
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

// The status bar's lines, top down: a trip with its acknowledgement (while tripped); the link,
// the protection settings' button and the SCPI button; the SCPI server's address (while on).
// Stacked rather than side by side, so that each shows whole at the window's width.
void MainWindow::InstallStatusLines(RemoteControlMenu *remoteMenu)
{
    auto *tripStatus = new TripStatus(guard, ui->pushButtonOnOff, this);
    protectionDialog = new DialogProtection(guard, this);
    auto *protectionButton = new QToolButton;
    protectionButton->setObjectName(QStringLiteral("toolButtonProtection"));
    protectionButton->setAutoRaise(true);
    protectionButton->setText(tr("Защита"));
    protectionButton->setToolTip(tr("Защита выхода (OVP, OCP, OPP) и ограничение уставок"));
    // As tall as the status line's text, as the SCPI button beside it.
    protectionButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    connect(protectionButton, &QToolButton::clicked, protectionDialog, [this] {
        protectionDialog->show();
        protectionDialog->raise();
        protectionDialog->activateWindow();
    });

    auto *statusLines = new QWidget;
    auto *lines = new QGridLayout(statusLines);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(0);
    lines->addWidget(tripStatus->Lines(), 0, 0, 1, 3);
    lines->addWidget(linkStatus, 1, 0);
    lines->addWidget(protectionButton, 1, 1);
    lines->setColumnStretch(0, 1);
    ui->statusBar->addWidget(statusLines, 1);
    remoteMenu->Install(*lines, 1, 2);
}

void MainWindow::OpenPort()
{
    if (!session->Open(portComboBox->currentText())) {
        QMessageBox::critical(this, tr("Error"), QStringLiteral("Не удается открыть порт"),
                              QMessageBox::Ok);
        return;
    }
    // "Отключить" may have been pressed while the first setpoint read waited.
    if (session->State() == DeviceSession::LinkState::Disconnected)
        return;
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
        displays->SetPanelStale(true);
        displays->SetAdcStale(true);
    }
    if (state == DeviceSession::LinkState::Connected) {
        // After a recovery the adapter may be back under another name.
        SelectPort(session->PortName());
        ports->Remember(session->PortName());
    }
}

void MainWindow::RefreshPorts()
{
    const QStringList names = ports->Names();
    QStringList shown;
    for (int i = 0; i < portComboBox->count(); ++i)
        shown << portComboBox->itemText(i);
    const QString current = portComboBox->currentText();
    if (names != shown) {
        portComboBox->clear();
        portComboBox->addItems(names);
    }
    portComboBox->setCurrentIndex(ports->ToSelect(names, current));
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

// The operator's commands need no completion: their failures are shown for whoever gave the
// command, from the session's signals, as a script's are.
void MainWindow::Command(SessionCommand command)
{
    session->Submit(std::move(command), CommandLane::Operator);
}

void MainWindow::ApplyParam()
{
    Command(SessionCommand::WriteSetpoints([this] { return SetpointsFromBoxes(); }));
}

void MainWindow::OnOff()
{
    Command(SessionCommand::SwitchOutput());
}

void MainWindow::ReadParam()
{
    Command(SessionCommand::ReadCalibration());
}

void MainWindow::WriteParam()
{
    Command(SessionCommand::WriteCalibration([this] { return CalibrationFromBoxes(); }));
}

void MainWindow::ReadUserParam()
{
    Command(SessionCommand::ReadUserParams());
}

void MainWindow::WriteUserParam()
{
    Command(SessionCommand::WriteUserParams([this] { return UserParamsFromBoxes(); }));
}

// Failed poll reads are routine and silent; only the service pages' reads are reported.
void MainWindow::HandleReadFailure(DeviceSession::Block block)
{
    if (block == DeviceSession::Block::Calibration || block == DeviceSession::Block::UserParams)
        errorBoxes->Show(QStringLiteral("Ошибка чтения"));
}

void MainWindow::ShowSetpoints(const Setpoints &setpoints)
{
    ui->doubleSpinBoxV->setValue(ToUnits(Quantity::SetpointVoltage, setpoints.voltage));
    ui->doubleSpinBoxA->setValue(ToUnits(Quantity::SetpointCurrent, setpoints.current));
}

// The boxes already hold what a click wrote; setting them again would undo the operator's
// typing in them.
void MainWindow::ShowWrittenSetpoints(const Setpoints &setpoints)
{
    const Setpoints shown = SetpointsFromBoxes();
    if (shown.voltage != setpoints.voltage || shown.current != setpoints.current)
        ShowSetpoints(setpoints);
}

// Each attempt of a setpoint write takes what the boxes hold at that moment.
Setpoints MainWindow::SetpointsFromBoxes() const
{
    return Setpoints{ToCounts(Quantity::SetpointVoltage, ui->doubleSpinBoxV->value()),
                     ToCounts(Quantity::SetpointCurrent, ui->doubleSpinBoxA->value())};
}

void MainWindow::ShowCalibration(const CalibrationBlock &block)
{
    calibration = block;
    calibrationPage->Show(block);
}

CalibrationBlock MainWindow::CalibrationFromBoxes()
{
    calibration = calibrationPage->Take(calibration);
    return calibration;
}

void MainWindow::ShowUserParams(const UserParamBlock &block)
{
    userParams = block;
    userParamPage->Show(block);
}

UserParamBlock MainWindow::UserParamsFromBoxes()
{
    userParams = userParamPage->Take(userParams);
    return userParams;
}

void MainWindow::StartLog()
{
    logger->Start();
    ui->pushButtoLogStop->setEnabled(true);
    ui->pushButtonLogStart->setEnabled(false);
    ui->logChart->BeginRun();
}

void MainWindow::StopLog()
{
    logger->Stop();
    ui->pushButtoLogStop->setEnabled(false);
    ui->pushButtonLogStart->setEnabled(true);
}

void MainWindow::ClearLog()
{
    journalledLog->Clear();
    ui->logChart->Clear();
}

void MainWindow::SaveAsFile()
{
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
