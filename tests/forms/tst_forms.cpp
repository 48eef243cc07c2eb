#include "ui_dialogsettingslog.h"
#include "ui_mainwindow.h"

#include <QtTest>

// The two forms as built by their generated classes, checked against the layout the rest of the
// program (and every operator's habit) relies on: names, classes, positions, ranges and texts.
class FormsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void mainWindowProperties_data();
    void mainWindowProperties();
    void dialogProperties_data();
    void dialogProperties();
    void gridPositions_data();
    void gridPositions();
    void pagesAndFrame();
    void childOrder_data();
    void childOrder();
    void rowContents_data();
    void rowContents();
    void gridSpacers_data();
    void gridSpacers();
    void dialogSpacerMembers();
    void fonts_data();
    void fonts();
    void clamping_data();
    void clamping();
    void operatorInput_data();
    void operatorInput();
    void voltageEntry_data();
    void voltageEntry();
    void sizeLimits();
    void radioButtonsAreExclusive();
    void timeEditStopsAtItsEnds();

private:
    QObject *find(const QString &name) const;
    QObject *findInDialog(const QString &name) const;
    void compareProperty(QObject *(FormsTest::*lookUp)(const QString &) const);

    void deleteForms();

    QMainWindow *window = nullptr;
    QDialog *dialog = nullptr;
    QByteArray builtFor;
    Ui_MainWindow mainUi;
    Ui_DialogSettingsLog dialogUi;
};

namespace {

void AddRow(const char *object, const char *cls, const char *property, const QVariant &value)
{
    QTest::addRow("%s.%s", object, property) << object << cls << property << value;
}

void Columns()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
}

struct DoubleBox
{
    const char *name;
    int decimals;
    double minimum, maximum, step, value;
    const char *suffix;
    bool readOnly, enabled;
};

struct IntBox
{
    const char *name;
    int minimum, maximum, value;
    bool readOnly, enabled;
};

struct Text
{
    const char *name;
    const char *cls;
    const char *property;
    const char *text;
};

} // namespace

// Each test function starts from freshly built forms; its rows share them, because building the
// main window hundreds of times takes minutes under the sanitizers.
void FormsTest::init()
{
    if (builtFor == QTest::currentTestFunction())
        return;
    deleteForms();
    window = new QMainWindow;
    mainUi.setupUi(window);
    dialog = new QDialog;
    dialogUi.setupUi(dialog);
    builtFor = QTest::currentTestFunction();
}

void FormsTest::cleanupTestCase()
{
    deleteForms();
}

void FormsTest::deleteForms()
{
    delete window;
    window = nullptr;
    delete dialog;
    dialog = nullptr;
}

QObject *FormsTest::find(const QString &name) const
{
    if (window->objectName() == name)
        return window;
    return window->findChild<QObject *>(name);
}

// The dialog reuses names of the main window ("label", "label_2", ...), so it is searched apart.
QObject *FormsTest::findInDialog(const QString &name) const
{
    if (dialog->objectName() == name)
        return dialog;
    return dialog->findChild<QObject *>(name);
}

void FormsTest::mainWindowProperties_data()
{
    Columns();
    AddRow("MainWindow", "QMainWindow", "windowTitle", "VORNEXcontrol");
    AddRow("MainWindow", "QMainWindow", "size", QSize(330, 470));
    AddRow("MainWindow", "QMainWindow", "maximumSize", QSize(330, 470));
    AddRow("MainWindow", "QMainWindow", "minimumSize", QSize(0, 0));
    AddRow("MainWindow", "QMainWindow", "sizePolicy",
           QVariant::fromValue(QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed)));
    AddRow("tabWidget", "QTabWidget", "geometry", QRect(10, 10, 297, 396));
    AddRow("tabWidget", "QTabWidget", "maximumSize", QSize(500, 500));
    AddRow("tabWidget", "QTabWidget", "currentIndex", 0);
    // The five designed pages and the chart page after them.
    AddRow("tabWidget", "QTabWidget", "count", 6);
    AddRow("menuBar", "QMenuBar", "geometry", QRect(0, 0, 330, 21));
    AddRow("mainToolBar", "QToolBar", "enabled", true);
    AddRow("statusBar", "QStatusBar", "enabled", true);
    AddRow("groupBox", "QGroupBox", "flat", true);
    AddRow("groupBox", "QGroupBox", "checkable", false);
    AddRow("groupBox_2", "QGroupBox", "flat", true);
    AddRow("groupBox_2", "QGroupBox", "sizePolicy",
           QVariant::fromValue(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding)));
    AddRow("label", "QLabel", "sizePolicy",
           QVariant::fromValue(QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred)));
    AddRow("labelAmA", "QLabel", "alignment", int(Qt::AlignLeft | Qt::AlignVCenter));
    AddRow("label_cv", "QLabel", "alignment", int(Qt::AlignCenter));
    AddRow("label_cc", "QLabel", "alignment", int(Qt::AlignCenter));
    AddRow("textEditLog", "QTextEdit", "readOnly", true);

    for (const char *lcd : {"lcdNumberV", "lcdNumberA"}) {
        AddRow(lcd, "QLCDNumber", "minimumSize", QSize(130, 50));
        AddRow(lcd, "QLCDNumber", "maximumSize", QSize(150, 16777215));
        AddRow(lcd, "QLCDNumber", "frameShape", int(QFrame::Box));
        AddRow(lcd, "QLCDNumber", "frameShadow", int(QFrame::Plain));
        AddRow(lcd, "QLCDNumber", "smallDecimalPoint", false);
        AddRow(lcd, "QLCDNumber", "digitCount", 5);
    }
    AddRow("lcdNumberV", "QLCDNumber", "segmentStyle", int(QLCDNumber().segmentStyle()));
    AddRow("lcdNumberA", "QLCDNumber", "segmentStyle", int(QLCDNumber::Filled));
    AddRow("lcdNumberV", "QLCDNumber", "intValue", 15);
    AddRow("lcdNumberA", "QLCDNumber", "intValue", 6);
    AddRow("lcdNumberV", "QLCDNumber", "value", 15.0);
    AddRow("lcdNumberA", "QLCDNumber", "value", 6.0);
    AddRow("lcdNumberV", "QLCDNumber", "mode", int(QLCDNumber::Dec));

    for (const char *button : {"pushButtonApply", "pushButtonOnOff"}) {
        AddRow(button, "QPushButton", "minimumSize", QSize(110, 40));
        AddRow(button, "QPushButton", "checkable", false);
    }
    for (const char *button : {"pushButtonLogSave", "pushButtonLogParam", "pushButtonLogClear",
                               "pushButtonLogStart", "pushButtoLogStop"}) {
        AddRow(button, "QPushButton", "minimumSize", QSize(45, 45));
        AddRow(button, "QPushButton", "iconSize", QSize(40, 40));
        AddRow(button, "QPushButton", "text", QString());
    }

    const DoubleBox doubles[] = {
        {"doubleSpinBoxV", 2, 0.01, 30.0, 0.01, 15.0, " V", false, true},
        {"doubleSpinBoxA", 3, 0.005, 9.999, 0.001, 5.0, " A", false, true},
        {"doubleSpinBoxVsdadc", 3, 0, 30, 1, 15, " V", true, true},
        {"doubleSpinBoxCsdadc", 3, 0, 5, 1, 3, " A", true, true},
        {"doubleSpinBoxCFsdadc", 1, 0, 2000, 1, 500, " mA", true, false},
        {"doubleSpinBoxVin", 3, 0, 45, 1, 15, " V", true, true},
        {"doubleSpinBoxVpwm", 3, 0, 45, 1, 15, " V", true, false},
        {"doubleSpinBoxVref", 3, 0, 45, 1, 15, " V", true, true},
    };
    for (const DoubleBox &box : doubles) {
        AddRow(box.name, "QDoubleSpinBox", "decimals", box.decimals);
        AddRow(box.name, "QDoubleSpinBox", "minimum", box.minimum);
        AddRow(box.name, "QDoubleSpinBox", "maximum", box.maximum);
        AddRow(box.name, "QDoubleSpinBox", "singleStep", box.step);
        AddRow(box.name, "QDoubleSpinBox", "value", box.value);
        AddRow(box.name, "QDoubleSpinBox", "suffix", box.suffix);
        AddRow(box.name, "QDoubleSpinBox", "readOnly", box.readOnly);
        AddRow(box.name, "QDoubleSpinBox", "enabled", box.enabled);
        AddRow(box.name, "QDoubleSpinBox", "wrapping", false);
        AddRow(box.name, "QDoubleSpinBox", "alignment",
               int(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter));
    }
    for (const char *box : {"doubleSpinBoxV", "doubleSpinBoxA"}) {
        AddRow(box, "QDoubleSpinBox", "buttonSymbols", int(QAbstractSpinBox::PlusMinus));
        AddRow(box, "QDoubleSpinBox", "minimumSize", QSize(110, 40));
    }
    AddRow("doubleSpinBoxVin", "QDoubleSpinBox", "minimumSize", QSize(90, 30));
    AddRow("label_2", "QLabel", "minimumSize", QSize(120, 0));

    const IntBox ints[] = {
        {"spinBoxKuAdcVolt", 800, 1200, 1000, false, true},
        {"spinBoxOffAdcVolt", -200, 200, 0, false, true},
        {"spinBoxKuAdcCurr", 800, 1200, 1000, false, true},
        {"spinBoxOffAdcCurr", -200, 200, 0, false, true},
        {"spinBoxKuAdcCurrFune", 800, 1200, 1000, false, false},
        {"spinBoxOffAdcCurrFine", -900, 900, 0, false, false},
        {"spinBoxKuDacVolt", 800, 1200, 1000, false, true},
        {"spinBoxOffDacVolt", -200, 200, 0, false, true},
        {"spinBoxKuDacCurr", 800, 1200, 1000, false, true},
        {"spinBoxOffDacCurr", -200, 200, 0, false, true},
        {"spinBoxRout", 0, 10, 0, false, true},
        {"spinBoxNVPstatus", 0, 1, 1, false, true},
        {"spinBoxLifeCounter", 0, 10000, 0, true, true},
        {"spinBoxCurrTrigStat", 0, 1, 0, false, true},
        {"spinBoxCurrTrigTime", 0, 2000, 20, false, true},
        {"spinBoxIoutMax", 1000, 9999, 5000, false, true},
        {"spinBoxUoutMax", 10000, 30000, 30000, false, true},
        {"spinBoxPoutMax", 100, 300, 150, false, true},
        {"spinBoxFanGainCurrent", 50, 250, 100, false, true},
        {"spinBoxFanDelay", 3, 30, 5, false, true},
        {"spinBoxFanDutyOff", 0, 600, 400, false, true},
        {"spinBoxRoutUser", 0, 200, 0, false, true},
    };
    for (const IntBox &box : ints) {
        AddRow(box.name, "QSpinBox", "minimum", box.minimum);
        AddRow(box.name, "QSpinBox", "maximum", box.maximum);
        AddRow(box.name, "QSpinBox", "value", box.value);
        AddRow(box.name, "QSpinBox", "readOnly", box.readOnly);
        AddRow(box.name, "QSpinBox", "enabled", box.enabled);
        AddRow(box.name, "QSpinBox", "minimumSize", QSize(70, 22));
        AddRow(box.name, "QSpinBox", "singleStep", 1);
    }
    for (const char *label : {"label_7", "label_5", "label_13", "label_12"})
        AddRow(label, "QLabel", "enabled", false);

    const Text texts[] = {
        {"label", "QLabel", "text", "   V"},
        {"labelAmA", "QLabel", "text", "A  "},
        {"label_cv_3", "QLabel", "text", "CV"},
        {"label_cv", "QLabel", "text", "CV"},
        {"label_cv_4", "QLabel", "text", "CC"},
        {"label_cc", "QLabel", "text", "CC"},
        {"groupBox", "QGroupBox", "title", "Дисплей"},
        {"groupBox_2", "QGroupBox", "title", "Управление"},
        {"pushButtonApply", "QPushButton", "text", "Применить"},
        {"pushButtonOnOff", "QPushButton", "text", "Off/On"},
        {"label_2", "QLabel", "text", "Напряжение SDADC"},
        {"label_3", "QLabel", "text", "Ток SDADC"},
        {"label_7", "QLabel", "text", "Reserv1"},
        {"label_4", "QLabel", "text", "Напряжение Uin"},
        {"label_5", "QLabel", "text", "Reserv2"},
        {"label_6", "QLabel", "text", "Напряжение Uref"},
        {"label_8", "QLabel", "text", "Ku ADC Voltage"},
        {"label_9", "QLabel", "text", "Off ADC Voltage"},
        {"label_10", "QLabel", "text", "Ku ADC Current"},
        {"label_11", "QLabel", "text", "Off ADC Current"},
        {"label_13", "QLabel", "text", "Ku ADC Current Fine"},
        {"label_12", "QLabel", "text", "Off ADC Current Fine"},
        {"label_16", "QLabel", "text", "Ku DAC Voltage"},
        {"label_17", "QLabel", "text", "Off DAC Voltage"},
        {"label_14", "QLabel", "text", "Ku DAC Current"},
        {"label_15", "QLabel", "text", "Off DAC Current"},
        {"label_18", "QLabel", "text", "Rout"},
        {"pushButtonReadCalibr", "QPushButton", "text", "Считать"},
        {"pushButtonApplyCalibr", "QPushButton", "text", "Применить"},
        {"label_19", "QLabel", "text", "NVP status"},
        {"label_20", "QLabel", "text", "Life counter"},
        {"label_21", "QLabel", "text", "Current trigger status"},
        {"label_22", "QLabel", "text", "Current trigger time"},
        {"label_23", "QLabel", "text", "I out MAX"},
        {"label_24", "QLabel", "text", "U out MAX"},
        {"label_25", "QLabel", "text", "P out MAX"},
        {"label_26", "QLabel", "text", "Fan gain current"},
        {"label_27", "QLabel", "text", "Fan delay"},
        {"label_28", "QLabel", "text", "Fan duty off"},
        {"label_29", "QLabel", "text", "Rout user"},
        {"pushButtonReadUserParam", "QPushButton", "text", "Считать"},
        {"pushButtonApplyUserParam", "QPushButton", "text", "Применить"},
    };
    for (const Text &text : texts)
        AddRow(text.name, text.cls, text.property, QString::fromUtf8(text.text));

    const char *const containers[] = {"layoutWidget",    "layoutWidget_2", "layoutWidget_3",
                                      "layoutWidget_4",  "layoutWidget_5", "layoutWidget_6",
                                      "layoutWidget_7",  "layoutWidget_8", "layoutWidget_9",
                                      "layoutWidget_10", "layoutWidget_11"};
    for (int i = 0; i < 11; ++i)
        AddRow(containers[i], "QWidget", "geometry", QRect(10, 10 + 30 * i, 271, 24));
    AddRow("widget", "QWidget", "geometry", QRect(10, 340, 271, 25));
}

void FormsTest::mainWindowProperties()
{
    compareProperty(&FormsTest::find);
}

void FormsTest::dialogProperties_data()
{
    Columns();
    AddRow("DialogSettingsLog", "QDialog", "windowTitle", QString("Настройка лога"));
    AddRow("DialogSettingsLog", "QDialog", "windowModality", int(Qt::WindowModal));
    AddRow("DialogSettingsLog", "QDialog", "size", QSize(330, 230));
    AddRow("DialogSettingsLog", "QDialog", "minimumSize", QSize(330, 0));
    AddRow("DialogSettingsLog", "QDialog", "maximumSize", QSize(330, 470));
    AddRow("label_3", "QLabel", "text", QString("Значения лога"));
    AddRow("label", "QLabel", "text", QString("Разделитель целой части"));
    AddRow("label_2", "QLabel", "text", QString("Период,мм:сс"));
    AddRow("radioButtonDot", "QRadioButton", "text", QString("Точка"));
    AddRow("radioButtonDot", "QRadioButton", "checked", false);
    AddRow("radioButtonComme", "QRadioButton", "text", QString("Запятая"));
    AddRow("radioButtonComme", "QRadioButton", "checked", false);
    AddRow("checkBoxAddTime", "QCheckBox", "text", QString("Добавить в лог время"));
    AddRow("checkBoxAddTime", "QCheckBox", "checked", false);
    AddRow("comboBoxLogValue", "QComboBox", "minimumSize", QSize(80, 0));
    AddRow("comboBoxLogValue", "QComboBox", "count", 0);
    AddRow("comboBoxTimeForm", "QComboBox", "count", 0);
    AddRow("timeEdit", "QTimeEdit", "minimumTime", QTime(0, 0, 1));
    AddRow("timeEdit", "QTimeEdit", "maximumTime", QTime(0, 10, 0));
    AddRow("timeEdit", "QTimeEdit", "time", QTime(0, 0, 1));
    AddRow("timeEdit", "QTimeEdit", "displayFormat", QString("mm:ss"));
    AddRow("timeEdit", "QTimeEdit", "currentSection", int(QDateTimeEdit::MinuteSection));
    AddRow("buttonGroup", "QButtonGroup", "exclusive", true);
}

void FormsTest::dialogProperties()
{
    compareProperty(&FormsTest::findInDialog);
}

// Shared check of the property tables: the named object exists, has the class and the value.
void FormsTest::compareProperty(QObject *(FormsTest::*lookUp)(const QString &) const)
{
    QFETCH(QString, object);
    QFETCH(QString, cls);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QObject *found = (this->*lookUp)(object);
    QVERIFY2(found != nullptr, qPrintable(object));
    QCOMPARE(QString(found->metaObject()->className()), cls);
    const QVariant actual = found->property(qPrintable(property));
    QVERIFY2(actual.isValid(), qPrintable(property));
    if (value.userType() == QMetaType::Double)
        QCOMPARE(actual.toDouble(), value.toDouble());
    else if (value.userType() == QMetaType::Int)
        QCOMPARE(actual.toInt(), value.toInt());
    else
        QCOMPARE(actual, value);
}

void FormsTest::gridPositions_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QRect>("cell"); // x = column, y = row, width = column span, height = row span

    const struct
    {
        const char *item, *grid;
        int row, column, rowSpan, columnSpan;
    } cells[] = {
        {"groupBox", "gridLayout_6", 0, 0, 1, 1},
        {"groupBox_2", "gridLayout_6", 1, 0, 1, 1},
        {"label", "gridLayout_5", 0, 0, 1, 1},
        {"lcdNumberV", "gridLayout_5", 0, 1, 1, 1},
        {"gridLayout", "gridLayout_5", 0, 2, 1, 1},
        {"labelAmA", "gridLayout_5", 1, 0, 1, 1},
        {"lcdNumberA", "gridLayout_5", 1, 1, 1, 1},
        {"gridLayout_2", "gridLayout_5", 1, 2, 1, 1},
        {"label_cv_3", "gridLayout", 0, 0, 1, 1},
        {"label_cv", "gridLayout", 1, 0, 1, 1},
        {"label_cv_4", "gridLayout_2", 0, 0, 1, 1},
        {"label_cc", "gridLayout_2", 1, 0, 1, 1},
        {"doubleSpinBoxV", "gridLayout_3", 0, 0, 1, 1},
        {"pushButtonApply", "gridLayout_3", 0, 3, 1, 1},
        {"doubleSpinBoxA", "gridLayout_3", 1, 0, 1, 2},
        {"pushButtonOnOff", "gridLayout_3", 1, 3, 1, 1},
        {"textEditLog", "gridLayout_8", 0, 0, 1, 7},
        {"pushButtonLogParam", "gridLayout_8", 1, 0, 1, 1},
        {"pushButtonLogSave", "gridLayout_8", 1, 2, 1, 1},
        {"pushButtonLogClear", "gridLayout_8", 1, 3, 1, 1},
        {"pushButtonLogStart", "gridLayout_8", 1, 5, 1, 1},
        {"pushButtoLogStop", "gridLayout_8", 1, 6, 1, 1},
        {"horizontalLayout_3", "gridLayout_4", 0, 0, 1, 1},
        {"horizontalLayout_4", "gridLayout_4", 1, 0, 1, 1},
        {"horizontalLayout_5", "gridLayout_4", 2, 0, 1, 1},
        {"horizontalLayout_6", "gridLayout_4", 3, 0, 1, 1},
        {"horizontalLayout_7", "gridLayout_4", 4, 0, 1, 1},
        {"horizontalLayout_8", "gridLayout_4", 5, 0, 1, 1},
        {"horizontalLayout", "gridLayout_7", 0, 0, 1, 3},
        {"horizontalLayout_2", "gridLayout_7", 1, 0, 1, 3},
        {"horizontalLayout_9", "gridLayout_7", 2, 0, 1, 3},
        {"horizontalLayout_10", "gridLayout_7", 3, 0, 1, 3},
        {"horizontalLayout_11", "gridLayout_7", 4, 0, 1, 3},
        {"horizontalLayout_12", "gridLayout_7", 5, 0, 1, 3},
        {"horizontalLayout_13", "gridLayout_7", 6, 0, 1, 3},
        {"horizontalLayout_14", "gridLayout_7", 7, 0, 1, 3},
        {"horizontalLayout_15", "gridLayout_7", 8, 0, 1, 3},
        {"horizontalLayout_16", "gridLayout_7", 9, 0, 1, 3},
        {"horizontalLayout_17", "gridLayout_7", 10, 0, 1, 2},
        {"spinBoxRout", "gridLayout_7", 10, 2, 1, 1},
        {"pushButtonReadCalibr", "gridLayout_7", 11, 1, 1, 1},
        {"pushButtonApplyCalibr", "gridLayout_7", 11, 2, 1, 1},
        {"logChart", "gridLayout_9", 0, 0, 1, 1},
    };
    for (const auto &cell : cells) {
        QTest::addRow("%s in %s", cell.item, cell.grid)
            << cell.item << cell.grid
            << QRect(cell.column, cell.row, cell.columnSpan, cell.rowSpan);
    }
}

void FormsTest::gridPositions()
{
    QFETCH(QString, item);
    QFETCH(QString, grid);
    QFETCH(QRect, cell);
    auto *layout = window->findChild<QGridLayout *>(grid);
    QVERIFY2(layout != nullptr, qPrintable(grid));
    QCOMPARE(layout->spacing(), 6);
    int index = -1;
    if (auto *widget = window->findChild<QWidget *>(item))
        index = layout->indexOf(widget);
    else if (auto *nested = window->findChild<QLayout *>(item))
        index = layout->indexOf(nested);
    QVERIFY2(index >= 0, qPrintable(item));
    int row, column, rowSpan, columnSpan;
    layout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QRect(column, row, columnSpan, rowSpan), cell);
}

void FormsTest::pagesAndFrame()
{
    const QStringList pages{"tab", "tab_4", "tab_2", "tab_3", "tab_5", "tab_6"};
    const QStringList titles{"Tab 1", "Страница", "Tab 2", "Страница", "Страница", "Страница"};
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(mainUi.tabWidget->widget(i)->objectName(), pages.at(i));
        QCOMPARE(mainUi.tabWidget->tabText(i), titles.at(i));
    }
    QVERIFY(mainUi.centralWidget->layout() == nullptr);
    QVERIFY(mainUi.tab_5->layout() == nullptr);
    QCOMPARE(window->centralWidget(), mainUi.centralWidget);
    QCOMPARE(window->menuBar(), mainUi.menuBar);
    QCOMPARE(window->statusBar(), mainUi.statusBar);
    QCOMPARE(window->toolBarArea(mainUi.mainToolBar), Qt::TopToolBarArea);
    QVERIFY(mainUi.menuBar->actions().isEmpty());
    QVERIFY(mainUi.mainToolBar->actions().isEmpty());
    for (QLayout *top : std::initializer_list<QLayout *>{
             mainUi.gridLayout_6, mainUi.gridLayout_5, mainUi.gridLayout_3, mainUi.gridLayout_8,
             mainUi.gridLayout_4, mainUi.gridLayout_7, mainUi.gridLayout_9})
        QCOMPARE(top->contentsMargins(), QMargins(11, 11, 11, 11));
    for (QLayout *nested : std::initializer_list<QLayout *>{
             mainUi.gridLayout, mainUi.gridLayout_2, mainUi.horizontalLayout_3,
             mainUi.horizontalLayout, mainUi.horizontalLayout_17, mainUi.horizontalLayout_18,
             mainUi.horizontalLayout_29}) {
        QCOMPARE(nested->contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(nested->spacing(), 6);
    }
}

// Children in creation order: this is also the keyboard focus order the operator tabs through.
void FormsTest::childOrder_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");
    QTest::newRow("MainWindow") << false << "MainWindow"
                                << QStringList{"centralWidget", "menuBar", "mainToolBar",
                                               "statusBar"};
    QTest::newRow("centralWidget") << false << "centralWidget" << QStringList{"tabWidget"};
    QTest::newRow("tab") << false << "tab" << QStringList{"groupBox", "groupBox_2"};
    QTest::newRow("groupBox") << false << "groupBox"
                              << QStringList{"label_cv_3", "label_cv",   "label_cv_4", "label_cc",
                                             "lcdNumberA", "lcdNumberV", "labelAmA",   "label"};
    QTest::newRow("groupBox_2") << false << "groupBox_2"
                                << QStringList{"doubleSpinBoxV", "pushButtonApply",
                                               "doubleSpinBoxA", "pushButtonOnOff"};
    QTest::newRow("tab_4") << false << "tab_4"
                           << QStringList{"pushButtonLogSave",  "pushButtonLogParam",
                                          "pushButtonLogClear", "pushButtonLogStart",
                                          "pushButtoLogStop",   "textEditLog"};
    QTest::newRow("tab_2") << false << "tab_2" << QStringList{"label_2", "doubleSpinBoxVsdadc",
                                                              "label_3", "doubleSpinBoxCsdadc",
                                                              "label_7", "doubleSpinBoxCFsdadc",
                                                              "label_4", "doubleSpinBoxVin",
                                                              "label_5", "doubleSpinBoxVpwm",
                                                              "label_6", "doubleSpinBoxVref"};
    QTest::newRow("tab_3") << false << "tab_3"
                           << QStringList{"label_8",
                                          "spinBoxKuAdcVolt",
                                          "label_9",
                                          "spinBoxOffAdcVolt",
                                          "label_10",
                                          "spinBoxKuAdcCurr",
                                          "label_11",
                                          "spinBoxOffAdcCurr",
                                          "label_13",
                                          "spinBoxKuAdcCurrFune",
                                          "label_12",
                                          "spinBoxOffAdcCurrFine",
                                          "label_16",
                                          "spinBoxKuDacVolt",
                                          "label_17",
                                          "spinBoxOffDacVolt",
                                          "label_14",
                                          "spinBoxKuDacCurr",
                                          "label_15",
                                          "spinBoxOffDacCurr",
                                          "label_18",
                                          "pushButtonReadCalibr",
                                          "pushButtonApplyCalibr",
                                          "spinBoxRout"};
    QTest::newRow("tab_5") << false << "tab_5"
                           << QStringList{"layoutWidget",    "layoutWidget_2",  "layoutWidget_3",
                                          "layoutWidget_4",  "layoutWidget_5",  "layoutWidget_6",
                                          "layoutWidget_7",  "layoutWidget_8",  "layoutWidget_9",
                                          "layoutWidget_10", "layoutWidget_11", "widget"};
    QTest::newRow("tab_6") << false << "tab_6" << QStringList{"logChart"};
    QTest::newRow("widget") << false << "widget"
                            << QStringList{"pushButtonReadUserParam", "pushButtonApplyUserParam"};
    QTest::newRow("DialogSettingsLog")
        << true << "DialogSettingsLog"
        << QStringList{"label_3",         "comboBoxLogValue", "label",   "radioButtonDot",
                       "buttonGroup",     "radioButtonComme", "label_2", "timeEdit",
                       "checkBoxAddTime", "comboBoxTimeForm"};

    // Every row container of the user page holds its label and then its box.
    const char *const userRows[][3] = {
        {"layoutWidget", "label_19", "spinBoxNVPstatus"},
        {"layoutWidget_2", "label_20", "spinBoxLifeCounter"},
        {"layoutWidget_3", "label_21", "spinBoxCurrTrigStat"},
        {"layoutWidget_4", "label_22", "spinBoxCurrTrigTime"},
        {"layoutWidget_5", "label_23", "spinBoxIoutMax"},
        {"layoutWidget_6", "label_24", "spinBoxUoutMax"},
        {"layoutWidget_7", "label_25", "spinBoxPoutMax"},
        {"layoutWidget_8", "label_26", "spinBoxFanGainCurrent"},
        {"layoutWidget_9", "label_27", "spinBoxFanDelay"},
        {"layoutWidget_10", "label_28", "spinBoxFanDutyOff"},
        {"layoutWidget_11", "label_29", "spinBoxRoutUser"},
    };
    for (const auto &row : userRows)
        QTest::newRow(row[0]) << false << row[0] << QStringList{row[1], row[2]};
}

void FormsTest::childOrder()
{
    QFETCH(bool, inDialog);
    QFETCH(QString, parent);
    QFETCH(QStringList, children);
    QObject *found = inDialog ? findInDialog(parent) : find(parent);
    QVERIFY2(found != nullptr, qPrintable(parent));
    QStringList actual;
    for (QObject *child : found->children()) {
        const bool formObject = child->isWidgetType() || qobject_cast<QButtonGroup *>(child);
        if (formObject && !child->objectName().startsWith("qt_"))
            actual << child->objectName();
    }
    QCOMPARE(actual, children);
}

// Box layouts, item by item; an empty name stands for a 40 x 20 horizontal spacer.
void FormsTest::rowContents_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items");
    const char *const mainRows[][3] = {
        {"horizontalLayout_3", "label_2", "doubleSpinBoxVsdadc"},
        {"horizontalLayout_4", "label_3", "doubleSpinBoxCsdadc"},
        {"horizontalLayout_5", "label_7", "doubleSpinBoxCFsdadc"},
        {"horizontalLayout_6", "label_4", "doubleSpinBoxVin"},
        {"horizontalLayout_7", "label_5", "doubleSpinBoxVpwm"},
        {"horizontalLayout_8", "label_6", "doubleSpinBoxVref"},
        {"horizontalLayout", "label_8", "spinBoxKuAdcVolt"},
        {"horizontalLayout_2", "label_9", "spinBoxOffAdcVolt"},
        {"horizontalLayout_9", "label_10", "spinBoxKuAdcCurr"},
        {"horizontalLayout_10", "label_11", "spinBoxOffAdcCurr"},
        {"horizontalLayout_11", "label_13", "spinBoxKuAdcCurrFune"},
        {"horizontalLayout_12", "label_12", "spinBoxOffAdcCurrFine"},
        {"horizontalLayout_13", "label_16", "spinBoxKuDacVolt"},
        {"horizontalLayout_14", "label_17", "spinBoxOffDacVolt"},
        {"horizontalLayout_15", "label_14", "spinBoxKuDacCurr"},
        {"horizontalLayout_16", "label_15", "spinBoxOffDacCurr"},
        {"horizontalLayout_18", "label_19", "spinBoxNVPstatus"},
        {"horizontalLayout_19", "label_20", "spinBoxLifeCounter"},
        {"horizontalLayout_20", "label_21", "spinBoxCurrTrigStat"},
        {"horizontalLayout_21", "label_22", "spinBoxCurrTrigTime"},
        {"horizontalLayout_22", "label_23", "spinBoxIoutMax"},
        {"horizontalLayout_23", "label_24", "spinBoxUoutMax"},
        {"horizontalLayout_24", "label_25", "spinBoxPoutMax"},
        {"horizontalLayout_25", "label_26", "spinBoxFanGainCurrent"},
        {"horizontalLayout_26", "label_27", "spinBoxFanDelay"},
        {"horizontalLayout_27", "label_28", "spinBoxFanDutyOff"},
        {"horizontalLayout_28", "label_29", "spinBoxRoutUser"},
    };
    for (const auto &row : mainRows)
        QTest::newRow(row[0]) << false << row[0] << QStringList{row[1], "", row[2]};
    QTest::newRow("horizontalLayout_17")
        << false << "horizontalLayout_17" << QStringList{"label_18", ""};
    QTest::newRow("horizontalLayout_29")
        << false << "horizontalLayout_29"
        << QStringList{"", "pushButtonReadUserParam", "pushButtonApplyUserParam"};

    QTest::newRow("dialog row 0") << true << "horizontalLayout"
                                  << QStringList{"label_3", "", "comboBoxLogValue"};
    QTest::newRow("dialog row 1") << true << "horizontalLayout_2"
                                  << QStringList{"label", "", "radioButtonDot", "radioButtonComme"};
    QTest::newRow("dialog row 2") << true << "horizontalLayout_3"
                                  << QStringList{"label_2", "", "timeEdit"};
    QTest::newRow("dialog row 3") << true << "horizontalLayout_4"
                                  << QStringList{"checkBoxAddTime", "", "comboBoxTimeForm"};
    QTest::newRow("dialog row 4") << true << "horizontalLayout_5" << QStringList{};
}

void FormsTest::rowContents()
{
    QFETCH(bool, inDialog);
    QFETCH(QString, layout);
    QFETCH(QStringList, items);
    auto *row = qobject_cast<QHBoxLayout *>(inDialog ? findInDialog(layout) : find(layout));
    QVERIFY2(row != nullptr, qPrintable(layout));
    QCOMPARE(row->count(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QLayoutItem *item = row->itemAt(i);
        if (items.at(i).isEmpty()) {
            QSpacerItem *spacer = item->spacerItem();
            QVERIFY2(spacer != nullptr, qPrintable(QString::number(i)));
            QCOMPARE(spacer->sizeHint(), QSize(40, 20));
            QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
        } else {
            QVERIFY2(item->widget() != nullptr, qPrintable(items.at(i)));
            QCOMPARE(item->widget()->objectName(), items.at(i));
        }
        QCOMPARE(int(item->alignment()), 0);
    }
}

void FormsTest::gridSpacers_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QRect>("cell"); // x = column, y = row, width = column span, height = row span
    QTest::addColumn<QSize>("hint");
    QTest::newRow("beside Apply") << "gridLayout_3" << QRect(1, 0, 2, 1) << QSize(21, 20);
    QTest::newRow("beside On/Off") << "gridLayout_3" << QRect(2, 1, 1, 1) << QSize(15, 20);
    QTest::newRow("after log settings") << "gridLayout_8" << QRect(1, 1, 1, 1) << QSize(40, 20);
    QTest::newRow("before log start") << "gridLayout_8" << QRect(4, 1, 1, 1) << QSize(40, 20);
    QTest::newRow("before calibration read")
        << "gridLayout_7" << QRect(0, 11, 1, 1) << QSize(108, 20);
}

void FormsTest::gridSpacers()
{
    QFETCH(QString, grid);
    QFETCH(QRect, cell);
    QFETCH(QSize, hint);
    auto *layout = window->findChild<QGridLayout *>(grid);
    QVERIFY(layout != nullptr);
    QLayoutItem *item = layout->itemAtPosition(cell.y(), cell.x());
    QVERIFY(item != nullptr);
    QSpacerItem *spacer = item->spacerItem();
    QVERIFY(spacer != nullptr);
    QCOMPARE(spacer->sizeHint(), hint);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    int row, column, rowSpan, columnSpan;
    layout->getItemPosition(layout->indexOf(spacer), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QRect(column, row, columnSpan, rowSpan), cell);
}

void FormsTest::dialogSpacerMembers()
{
    QCOMPARE(dialogUi.horizontalLayout->itemAt(1), dialogUi.horizontalSpacer);
    QCOMPARE(dialogUi.horizontalLayout_2->itemAt(1), dialogUi.horizontalSpacer_2);
    QCOMPARE(dialogUi.horizontalLayout_3->itemAt(1), dialogUi.horizontalSpacer_3);
    QCOMPARE(dialogUi.horizontalLayout_4->itemAt(1), dialogUi.horizontalSpacer_4);
    for (int row = 0; row < 5; ++row) {
        QLayoutItem *item = dialogUi.gridLayout->itemAtPosition(row, 0);
        QVERIFY(item != nullptr);
        QVERIFY(qobject_cast<QHBoxLayout *>(item->layout()) != nullptr);
        QCOMPARE(int(item->alignment()), 0);
    }
    QCOMPARE(dialogUi.gridLayout->count(), 5);
    QCOMPARE(dialogUi.gridLayout->columnCount(), 1);
}

void FormsTest::fonts_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QString>("family");
    const QString defaultFamily = QApplication::font().family();
    for (const char *name :
         {"groupBox", "groupBox_2", "label_cv", "label_cc", "label_2", "doubleSpinBoxVsdadc",
          "label_7", "doubleSpinBoxVref", "label_8", "spinBoxKuAdcVolt", "label_18", "spinBoxRout",
          "label_19", "spinBoxNVPstatus", "label_29", "spinBoxRoutUser"})
        QTest::newRow(name) << false << name << 10 << defaultFamily;
    for (const char *name : {"label", "labelAmA", "doubleSpinBoxV", "doubleSpinBoxA"})
        QTest::newRow(name) << false << name << 16 << defaultFamily;
    for (const char *name : {"pushButtonApply", "pushButtonOnOff"})
        QTest::newRow(name) << false << name << 11 << defaultFamily;
    for (const char *name : {"label_cv_3", "label_cv_4"})
        QTest::newRow(name) << false << name << 14 << QString("Calibri");
    const int windowSize = QApplication::font().pointSize();
    for (const char *name :
         {"textEditLog", "pushButtonLogStart", "pushButtonReadCalibr", "pushButtonApplyUserParam"})
        QTest::newRow(name) << false << name << windowSize << defaultFamily;
    for (const char *name :
         {"label_3", "comboBoxLogValue", "label", "radioButtonDot", "radioButtonComme", "label_2",
          "timeEdit", "checkBoxAddTime", "comboBoxTimeForm"})
        QTest::addRow("dialog %s", name) << true << name << 10 << defaultFamily;
    QTest::newRow("dialog itself") << true << "DialogSettingsLog" << windowSize << defaultFamily;
}

void FormsTest::fonts()
{
    QFETCH(bool, inDialog);
    QFETCH(QString, object);
    QFETCH(int, pointSize);
    QFETCH(QString, family);
    auto *widget = qobject_cast<QWidget *>(inDialog ? findInDialog(object) : find(object));
    QVERIFY(widget != nullptr);
    const QFont font = widget->font();
    QCOMPARE(font.pointSize(), pointSize);
    QCOMPARE(font.family(), family);
    QCOMPARE(font.weight(), int(QFont::Normal));
    QVERIFY(!font.italic());
    QVERIFY(!font.underline());
}

void FormsTest::clamping_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("set");
    QTest::addColumn<double>("shown");
    QTest::newRow("current above range") << "doubleSpinBoxA" << 10.0 << 9.999;
    QTest::newRow("current below range") << "doubleSpinBoxA" << 0.0 << 0.005;
    QTest::newRow("voltage above range") << "doubleSpinBoxV" << 31.0 << 30.0;
    QTest::newRow("voltage zero") << "doubleSpinBoxV" << 0.0 << 0.01;
    QTest::newRow("input voltage") << "doubleSpinBoxVin" << 50.0 << 45.0;
    QTest::newRow("life counter") << "spinBoxLifeCounter" << 12345.0 << 10000.0;
    QTest::newRow("gain") << "spinBoxKuAdcVolt" << 1500.0 << 1200.0;
    QTest::newRow("offset") << "spinBoxOffDacVolt" << -5.0 << -5.0;
    QTest::newRow("current limit") << "spinBoxIoutMax" << 10000.0 << 9999.0;
}

void FormsTest::clamping()
{
    QFETCH(QString, box);
    QFETCH(double, set);
    QFETCH(double, shown);
    QObject *found = find(box);
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(found)) {
        spin->setValue(set);
        QCOMPARE(spin->value(), shown);
    } else {
        auto *intSpin = qobject_cast<QSpinBox *>(found);
        QVERIFY(intSpin != nullptr);
        intSpin->setValue(int(set));
        QCOMPARE(intSpin->value(), int(shown));
    }
}

// One Up key press, as the operator would give it: editable boxes step by their single step,
// read-only and disabled boxes keep their value.
void FormsTest::operatorInput_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("after");
    QTest::newRow("voltage setpoint") << "doubleSpinBoxV" << 15.01;
    QTest::newRow("current setpoint") << "doubleSpinBoxA" << 5.001;
    QTest::newRow("ADC voltage, read-only") << "doubleSpinBoxVsdadc" << 15.0;
    QTest::newRow("input voltage, read-only") << "doubleSpinBoxVin" << 15.0;
    QTest::newRow("Reserv1, disabled") << "doubleSpinBoxCFsdadc" << 500.0;
    QTest::newRow("Reserv2, disabled") << "doubleSpinBoxVpwm" << 15.0;
    QTest::newRow("ADC voltage gain") << "spinBoxKuAdcVolt" << 1001.0;
    QTest::newRow("fine current gain, disabled") << "spinBoxKuAdcCurrFune" << 1000.0;
    QTest::newRow("fine current offset, disabled") << "spinBoxOffAdcCurrFine" << 0.0;
    QTest::newRow("output resistance") << "spinBoxRout" << 1.0;
    QTest::newRow("life counter, read-only") << "spinBoxLifeCounter" << 0.0;
    QTest::newRow("NVP status at its top") << "spinBoxNVPstatus" << 1.0;
    QTest::newRow("output voltage limit at its top") << "spinBoxUoutMax" << 30000.0;
    QTest::newRow("fan delay") << "spinBoxFanDelay" << 6.0;
}

void FormsTest::operatorInput()
{
    QFETCH(QString, box);
    QFETCH(double, after);
    auto *spin = qobject_cast<QAbstractSpinBox *>(find(box));
    QVERIFY2(spin != nullptr, qPrintable(box));
    QTest::keyClick(spin, Qt::Key_Up);
    if (auto *decimal = qobject_cast<QDoubleSpinBox *>(spin))
        QCOMPARE(decimal->value(), after);
    else
        QCOMPARE(qobject_cast<QSpinBox *>(spin)->value(), int(after));
}

void FormsTest::voltageEntry_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("lowest") << "0.01" << true;
    QTest::newRow("highest") << "30.00" << true;
    QTest::newRow("zero") << "0.00" << false;
    QTest::newRow("above range") << "30.01" << false;
    QTest::newRow("far above range") << "45" << false;
    QTest::newRow("three decimals") << "1.005" << false;
}

// What the operator types into the voltage box, checked by the box's own validator.
void FormsTest::voltageEntry()
{
    QFETCH(QString, number);
    QFETCH(bool, acceptable);
    QDoubleSpinBox *box = mainUi.doubleSpinBoxV;
    QString text = number;
    text.replace('.', box->locale().decimalPoint());
    text += box->suffix();
    int position = text.size();
    QCOMPARE(box->validate(text, position) == QValidator::Acceptable, acceptable);
}

void FormsTest::sizeLimits()
{
    window->resize(600, 800);
    QCOMPARE(window->size(), QSize(330, 470));
    window->resize(200, 150);
    QCOMPARE(window->size(), QSize(200, 150));
    QCOMPARE(mainUi.tabWidget->geometry(), QRect(10, 10, 297, 396));
    QCOMPARE(mainUi.textEditLog->toPlainText(), QString());
    QTest::keyClicks(mainUi.textEditLog, "typed");
    QCOMPARE(mainUi.textEditLog->toPlainText(), QString());

    dialog->resize(500, 1000);
    QCOMPARE(dialog->size(), QSize(330, 470));
    dialog->resize(100, 300);
    QCOMPARE(dialog->size(), QSize(330, 300));
}

void FormsTest::radioButtonsAreExclusive()
{
    QCOMPARE(dialogUi.buttonGroup->parent(), dialog);
    QCOMPARE(dialogUi.buttonGroup->buttons(),
             (QList<QAbstractButton *>{dialogUi.radioButtonDot, dialogUi.radioButtonComme}));
    QCOMPARE(dialogUi.buttonGroup->id(dialogUi.radioButtonDot), -2);
    QCOMPARE(dialogUi.buttonGroup->id(dialogUi.radioButtonComme), -3);
    QVERIFY(dialogUi.buttonGroup->checkedButton() == nullptr);
    dialogUi.radioButtonComme->setChecked(true);
    dialogUi.radioButtonDot->setChecked(true);
    QVERIFY(!dialogUi.radioButtonComme->isChecked());
}

void FormsTest::timeEditStopsAtItsEnds()
{
    QTimeEdit *edit = dialogUi.timeEdit;
    QVERIFY(!edit->wrapping());
    QCOMPARE(edit->text(), QString("00:01"));
    QCOMPARE(edit->sectionCount(), 2);
    edit->setTime(QTime(0, 0, 1));
    edit->setCurrentSection(QDateTimeEdit::SecondSection);
    edit->stepBy(-1);
    QCOMPARE(edit->time(), QTime(0, 0, 1));
    edit->setTime(QTime(0, 20, 0));
    QCOMPARE(edit->time(), QTime(0, 10, 0));
    edit->setCurrentSection(QDateTimeEdit::MinuteSection);
    edit->stepBy(1);
    QCOMPARE(edit->time(), QTime(0, 10, 0));
}

QTEST_MAIN(FormsTest)
#include "tst_forms.moc"
