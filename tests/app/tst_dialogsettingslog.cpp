#include "app/dialogsettingslog.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

namespace {
// What the program's own store holds, read the way the next start would see it.
std::unique_ptr<QSettings> Store()
{
    return std::make_unique<QSettings>(QStringLiteral("brenta"), QStringLiteral("TALMIR"));
}

void Put(const QString &key, const QVariant &value)
{
    Store()->setValue(key, value);
}
} // namespace

class TestDialogSettingsLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void emptyStoreGivesDefaults();
    void itemsCarryTheirIndex();
    void storedValuesAreLoaded_data();
    void storedValuesAreLoaded();
    void closeStoresWhatTheWidgetsShow();
    void clampedPeriodIsStoredClamped();
    void escapeKeepsTheChangeOnlyForThisRun();

private:
    template <typename T> T *Child(DialogSettingsLog &dialog, const char *name)
    {
        T *child = dialog.findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("no child %s", name);
        return child;
    }

    std::unique_ptr<QTemporaryDir> configDir;
    std::unique_ptr<QSettings> panelStore;
};

void TestDialogSettingsLog::init()
{
    configDir = std::make_unique<QTemporaryDir>();
    QVERIFY(configDir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir->path());
#ifdef Q_OS_WIN
    // The store is the registry, the one of the test's Wine prefix.
    Store()->clear();
#endif
    panelStore = OpenSettingsStore();
}

void TestDialogSettingsLog::emptyStoreGivesDefaults()
{
    DialogSettingsLog dialog(panelStore.get());
    QVERIFY(Child<QRadioButton>(dialog, "radioButtonDot")->isChecked());
    QVERIFY(!Child<QRadioButton>(dialog, "radioButtonComme")->isChecked());
    QCOMPARE(Child<QTimeEdit>(dialog, "timeEdit")->text(), QStringLiteral("00:01"));
    QCOMPARE(Child<QComboBox>(dialog, "comboBoxLogValue")->currentText(),
             QStringLiteral("Дисплей"));
    QCOMPARE(Child<QComboBox>(dialog, "comboBoxTimeForm")->currentText(),
             QStringLiteral("чч:мм:сс"));
    QVERIFY(!Child<QCheckBox>(dialog, "checkBoxAddTime")->isChecked());

    LogSettings settings;
    settings.logValue = settings.commeDot = settings.timeForm = settings.addTime = 7;
    dialog.GetSettings(settings);
    QCOMPARE(settings.logValue, 0);
    QCOMPARE(settings.commeDot, 0);
    QCOMPARE(settings.logPeriod, QTime(0, 0, 1));
    QCOMPARE(settings.timeForm, 0);
    QCOMPARE(settings.addTime, 0);

    // The store the application hands the dialog.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    QCOMPARE(store->organizationName(), QStringLiteral("brenta"));
    QCOMPARE(store->applicationName(), QStringLiteral("TALMIR"));
    QCOMPARE(store->format(), QSettings::NativeFormat);
    QCOMPARE(store->scope(), QSettings::UserScope);
#ifdef Q_OS_WIN
    QCOMPARE(store->fileName(), QStringLiteral(R"(\HKEY_CURRENT_USER\Software\brenta\TALMIR)"));
#else
    QVERIFY(store->fileName().startsWith(configDir->path()));
#endif
}

void TestDialogSettingsLog::itemsCarryTheirIndex()
{
    DialogSettingsLog dialog(panelStore.get());
    const QComboBox *logValue = Child<QComboBox>(dialog, "comboBoxLogValue");
    const QComboBox *timeForm = Child<QComboBox>(dialog, "comboBoxTimeForm");
    const QStringList logValues{QStringLiteral("Дисплей"), QStringLiteral("АЦП")};
    // Two Latin c, then two Cyrillic es.
    const QString seconds = QStringLiteral("cc") + QChar(0x0441) + QChar(0x0441);
    const QStringList timeForms{QStringLiteral("чч:мм:сс"), QStringLiteral("мм:сс"), seconds,
                                QStringLiteral("чч:мм:сс OS")};

    QCOMPARE(logValue->count(), logValues.size());
    for (int index = 0; index < logValues.size(); ++index) {
        QCOMPARE(logValue->itemText(index), logValues.at(index));
        QCOMPARE(logValue->itemData(index), QVariant(index));
    }
    QCOMPARE(timeForm->count(), timeForms.size());
    for (int index = 0; index < timeForms.size(); ++index) {
        QCOMPARE(timeForm->itemText(index), timeForms.at(index));
        QCOMPARE(timeForm->itemData(index), QVariant(index));
    }
}

void TestDialogSettingsLog::storedValuesAreLoaded_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("logValue");
    QTest::addColumn<int>("commeDot");
    QTest::addColumn<QTime>("logPeriod");
    QTest::addColumn<int>("timeForm");
    QTest::addColumn<int>("addTime");

    const QTime second(0, 0, 1);
    QTest::newRow("comma") << "commeDotLog" << QVariant(true) << 0 << 1 << second << 0 << 0;
    QTest::newRow("comma as text")
        << "commeDotLog" << QVariant("true") << 0 << 1 << second << 0 << 0;
    QTest::newRow("garbage separator")
        << "commeDotLog" << QVariant("abc") << 0 << 0 << second << 0 << 0;
    QTest::newRow("period") << "LogPeriod" << QVariant(QTime(0, 2, 30)) << 0 << 0 << QTime(0, 2, 30)
                            << 0 << 0;
    QTest::newRow("period above range")
        << "LogPeriod" << QVariant(QTime(0, 20)) << 0 << 0 << QTime(0, 10) << 0 << 0;
    QTest::newRow("period below range")
        << "LogPeriod" << QVariant(QTime(0, 0)) << 0 << 0 << second << 0 << 0;
    QTest::newRow("garbage period") << "LogPeriod" << QVariant("abc") << 0 << 0 << second << 0 << 0;
    QTest::newRow("ADC") << "LogValue" << QVariant(1) << 1 << 0 << second << 0 << 0;
    QTest::newRow("log value out of range")
        << "LogValue" << QVariant(2) << -1 << 0 << second << 0 << 0;
    QTest::newRow("garbage log value")
        << "LogValue" << QVariant("abc") << 0 << 0 << second << 0 << 0;
    QTest::newRow("time of day form") << "TimeForm" << QVariant(3) << 0 << 0 << second << 3 << 0;
    QTest::newRow("time form out of range")
        << "TimeForm" << QVariant(4) << 0 << 0 << second << -1 << 0;
    QTest::newRow("add time") << "AddTime" << QVariant(true) << 0 << 0 << second << 0 << 1;
    QTest::newRow("garbage add time")
        << "AddTime" << QVariant("yes, please") << 0 << 0 << second << 0 << 0;
}

void TestDialogSettingsLog::storedValuesAreLoaded()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    Put(key, stored);

    DialogSettingsLog dialog(panelStore.get());
    LogSettings settings;
    dialog.GetSettings(settings);
    QTEST(settings.logValue, "logValue");
    QTEST(settings.commeDot, "commeDot");
    QTEST(settings.logPeriod, "logPeriod");
    QTEST(settings.timeForm, "timeForm");
    QTEST(settings.addTime, "addTime");
    QCOMPARE(Child<QRadioButton>(dialog, "radioButtonDot")->isChecked(), settings.commeDot == 0);
}

void TestDialogSettingsLog::closeStoresWhatTheWidgetsShow()
{
    Put(QStringLiteral("dirLogFile"), QStringLiteral("/data/logs"));
    {
        DialogSettingsLog dialog(panelStore.get());
        dialog.show();
        QTest::mouseClick(Child<QRadioButton>(dialog, "radioButtonComme"), Qt::LeftButton);
        QTest::keyClick(Child<QComboBox>(dialog, "comboBoxLogValue"), Qt::Key_Down);
        QComboBox *timeForm = Child<QComboBox>(dialog, "comboBoxTimeForm");
        QTest::keyClick(timeForm, Qt::Key_Down);
        QTest::keyClick(timeForm, Qt::Key_Down);
        QTest::keyClick(Child<QTimeEdit>(dialog, "timeEdit"), Qt::Key_Up);
        QTest::mouseClick(Child<QCheckBox>(dialog, "checkBoxAddTime"), Qt::LeftButton);
        QVERIFY(dialog.close());
        QVERIFY(!dialog.isVisible());
    }

    const auto store = Store();
    QCOMPARE(store->value(QStringLiteral("commeDotLog")).toBool(), true);
    QCOMPARE(store->value(QStringLiteral("LogPeriod")).toTime(), QTime(0, 1, 1));
    QCOMPARE(store->value(QStringLiteral("LogValue")).toInt(), 1);
    QCOMPARE(store->value(QStringLiteral("TimeForm")).toInt(), 2);
    QCOMPARE(store->value(QStringLiteral("AddTime")).toBool(), true);
    QCOMPARE(store->value(QStringLiteral("dirLogFile")).toString(), QStringLiteral("/data/logs"));

    DialogSettingsLog nextRun(panelStore.get());
    LogSettings settings;
    nextRun.GetSettings(settings);
    QCOMPARE(settings.logValue, 1);
    QCOMPARE(settings.commeDot, 1);
    QCOMPARE(settings.logPeriod, QTime(0, 1, 1));
    QCOMPARE(settings.timeForm, 2);
    QCOMPARE(settings.addTime, 1);
}

void TestDialogSettingsLog::clampedPeriodIsStoredClamped()
{
    Put(QStringLiteral("LogPeriod"), QTime(0, 20));
    DialogSettingsLog dialog(panelStore.get());
    QCOMPARE(Child<QTimeEdit>(dialog, "timeEdit")->text(), QStringLiteral("10:00"));
    dialog.show();
    QVERIFY(dialog.close());
    QCOMPARE(Store()->value(QStringLiteral("LogPeriod")).toTime(), QTime(0, 10));
}

void TestDialogSettingsLog::escapeKeepsTheChangeOnlyForThisRun()
{
    Put(QStringLiteral("commeDotLog"), false);
    DialogSettingsLog dialog(panelStore.get());
    dialog.show();
    QTest::mouseClick(Child<QRadioButton>(dialog, "radioButtonComme"), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());

    LogSettings settings;
    dialog.GetSettings(settings);
    QCOMPARE(settings.commeDot, 1);
    const auto store = Store();
    QCOMPARE(store->value(QStringLiteral("commeDotLog")).toBool(), false);
    QVERIFY(!store->contains(QStringLiteral("LogPeriod")));

    DialogSettingsLog nextRun(panelStore.get());
    nextRun.GetSettings(settings);
    QCOMPARE(settings.commeDot, 0);
}

QTEST_MAIN(TestDialogSettingsLog)
#include "tst_dialogsettingslog.moc"
