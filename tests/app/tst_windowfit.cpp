#include "app/highdpi.h"
#include "app/mainwindow.h"
#include "app/windowfit.h"
#include "settings/settingsstore.h"

#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

// The window at this desktop's fonts (ctest runs it at 96 and 144 font DPI and at 2x scale, and
// under Wine at 100 %, 125 %, 150 % and 200 % display scaling):
// on every page each caption, value and label gets the room its text needs and lies inside the
// visible part of its page, as in the protection dialog; the toolbar shows all of its items; and at
// 96 font DPI the window keeps its designed width.
class WindowFitTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void neverBelowTheDesign();
    void fitRaisesTextsOnly();
    void everyTextFits_data();
    void everyTextFits();
    void protectionDialogTextsFit();
    void designedWidthAtNormalFonts();
    void toolbarShowsEverything();

private:
    // Outlives the window, as the application's does.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    std::unique_ptr<MainWindow> window;
};

namespace {

// Whatever Qt shows as a widget's text: a caption, a label, a spin box's value, an edit's line.
bool ShowsText(const QWidget *widget)
{
    return !widget->property("text").toString().isEmpty();
}

// The part of `widget` that its ancestors up to `top` leave visible, in top's coordinates.
QRect VisibleRect(const QWidget *widget, const QWidget *top)
{
    QRect visible(widget->mapTo(top, QPoint(0, 0)), widget->size());
    for (const QWidget *parent = widget->parentWidget(); parent != nullptr && parent != top;
         parent = parent->parentWidget())
        visible &= QRect(parent->mapTo(top, QPoint(0, 0)), parent->size());
    return visible;
}

// The first text in `shown` that does not get the room it needs or lies outside the visible part
// of `top`, described; empty when every one fits.
QString TextCutOff(const QWidget &shown, const QWidget &top)
{
    for (const QWidget *widget : shown.findChildren<QWidget *>()) {
        if (!widget->isVisible() || !ShowsText(widget))
            continue;
        const QString name = widget->objectName();
        const QSize own = widget->minimumSizeHint();
        if (widget->width() < own.width())
            return QStringLiteral("%1 %2 < %3").arg(name).arg(widget->width()).arg(own.width());
        if (widget->height() < widget->fontMetrics().height())
            return QStringLiteral("%1 lower than its font").arg(name);
        const QRect whole(widget->mapTo(&top, QPoint(0, 0)), widget->size());
        if (VisibleRect(widget, &top) != whole || !top.rect().contains(whole))
            return QStringLiteral("%1 not all visible").arg(name);
    }
    return QString();
}

} // namespace

void WindowFitTest::init()
{
    window = std::make_unique<MainWindow>(store.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void WindowFitTest::cleanup()
{
    window.reset();
}

void WindowFitTest::neverBelowTheDesign()
{
    QVERIFY(window->width() >= 330);
    QVERIFY(window->height() >= 470);
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs->width() >= 297);
    QVERIFY(tabs->height() >= 396);
    QCOMPARE(tabs->pos(), QPoint(10, 10));
}

// A page of rows at fixed positions, each designed too narrow for large fonts: the fit widens
// those that show text to what their text needs, and leaves the others at their design.
void WindowFitTest::fitRaisesTextsOnly()
{
    QMainWindow window;
    auto *central = new QWidget;
    window.setCentralWidget(central);
    auto *tabs = new QTabWidget(central);
    auto *page = new QWidget;
    tabs->addTab(page, QStringLiteral("Page"));
    const QSize designed(20, 10);
    auto *label = new QLabel(QStringLiteral("A caption far wider than its box"), page);
    auto *value = new QSpinBox(page);
    value->setRange(0, 999999);
    value->setValue(999999);
    auto *icon =
        new QPushButton(QIcon(QStringLiteral(":/new/prefix1/rec/about.png")), QString(), page);
    int y = 0;
    for (QWidget *row : std::initializer_list<QWidget *>{label, value, icon}) {
        row->setMinimumSize(designed);
        row->setGeometry(QRect(QPoint(10, y += 20), designed));
    }

    FitWindowToContents(window, *tabs);
    QVERIFY(label->minimumWidth() >= label->minimumSizeHint().width());
    QVERIFY(value->minimumWidth() >= value->minimumSizeHint().width());
    QCOMPARE(icon->minimumSize(), designed);
    QVERIFY(label->minimumWidth() > designed.width());
    QVERIFY(value->minimumWidth() > designed.width());
}

void WindowFitTest::everyTextFits_data()
{
    QTest::addColumn<int>("page");
    for (int page = 0; page < 6; ++page)
        QTest::addRow("page %d", page) << page;
}

void WindowFitTest::everyTextFits()
{
    QFETCH(int, page);
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    tabs->setCurrentIndex(page);
    QWidget *shown = tabs->widget(page);
    QTRY_VERIFY(shown->isVisible());
    const QString cut = TextCutOff(*shown, *window->centralWidget());
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
}

// Opened from the status bar, where it takes its fonts from the same desktop.
void WindowFitTest::protectionDialogTextsFit()
{
    QTest::mouseClick(window->findChild<QToolButton *>(QStringLiteral("toolButtonProtection")),
                      Qt::LeftButton);
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("DialogProtection"));
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QString cut = TextCutOff(*dialog, *dialog);
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
}

// At the font size it was drawn for the window keeps the width it was drawn at.
void WindowFitTest::designedWidthAtNormalFonts()
{
    // Display scaling enlarges the whole window alike; only larger fonts need more room.
    if (window->logicalDpiX() != 96)
        QSKIP("larger fonts may widen the window");
    QCOMPARE(window->width(), 330);
}

void WindowFitTest::toolbarShowsEverything()
{
    auto *toolbar = window->findChild<QToolBar *>(QStringLiteral("mainToolBar"));
    for (QAction *action : toolbar->actions()) {
        if (QWidget *widget = toolbar->widgetForAction(action))
            QVERIFY2(widget->isVisible() && toolbar->rect().contains(widget->geometry()),
                     qPrintable(action->text()));
    }
    auto *label = qobject_cast<QLabel *>(toolbar->widgetForAction(toolbar->actions().at(3)));
    QVERIFY(label->width() >= label->minimumSizeHint().width());
}

// The window as the program makes it: scaled with the desktop.
int main(int argc, char *argv[])
{
    PrepareHighDpiScaling();
    QApplication application(argc, argv);
    WindowFitTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowfit.moc"
