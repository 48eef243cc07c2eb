#include "app/highdpi.h"
#include "app/mainwindow.h"
#include "app/windowfit.h"
#include "settings/settingsstore.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>

// The window at this desktop's fonts (ctest runs it at 96 and 144 font DPI and at 2x scale, and
// under Wine at 100 %, 125 %, 150 % and 200 % display scaling):
// on every page each caption, value and label gets the room its text needs and lies inside the
// visible part of its page, and the toolbar shows all of its items.
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
    QWidget *central = window->centralWidget();
    for (const QWidget *widget : shown->findChildren<QWidget *>()) {
        if (!widget->isVisible() || !ShowsText(widget))
            continue;
        const QString name = widget->objectName();
        const QSize own = widget->minimumSizeHint();
        QVERIFY2(widget->width() >= own.width(),
                 qPrintable(
                     QStringLiteral("%1 %2 < %3").arg(name).arg(widget->width()).arg(own.width())));
        QVERIFY2(widget->height() >= widget->fontMetrics().height(), qPrintable(name));
        const QRect whole(widget->mapTo(central, QPoint(0, 0)), widget->size());
        QVERIFY2(VisibleRect(widget, central) == whole, qPrintable(name));
        QVERIFY2(central->rect().contains(whole), qPrintable(name));
    }
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
