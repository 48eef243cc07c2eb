#include "app/energycountersview.h"

#include "app/countertext.h"
#include "guard/deviceguard.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>

namespace {

QLabel *CounterLabel(const char *name, QGridLayout &grid, int row, int column)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(name));
    grid.addWidget(label, row, column);
    return label;
}

} // namespace

EnergyCountersView::EnergyCountersView(DeviceGuard *guard, QGridLayout &pageLayout, QWidget *window)
    : QObject(window), guard(guard), window(window)
{
    // No title, unlike the two groups above it: the units say what the figures are, and the
    // page has room for three lines of text before the window has to grow.
    box = new QWidget;
    box->setObjectName(QStringLiteral("widgetCounters"));
    QFont font = box->font();
    font.setPointSize(10);
    box->setFont(font);

    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    charge = CounterLabel("labelCharge", *grid, 0, 0);
    energy = CounterLabel("labelEnergy", *grid, 0, 1);
    onTime = CounterLabel("labelOnTime", *grid, 1, 0);
    gap = CounterLabel("labelGap", *grid, 1, 1);
    resetAt = CounterLabel("labelCountersReset", *grid, 2, 0);
    resetButton = new QPushButton(tr("Сброс"));
    resetButton->setObjectName(QStringLiteral("pushButtonResetCounters"));
    resetButton->setToolTip(tr("Обнулить заряд, энергию и время"));
    grid->addWidget(resetButton, 2, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    problem = new QLabel;
    problem->setObjectName(QStringLiteral("labelCounterProblem"));
    problem->setWordWrap(true);
    QPalette warning = problem->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    problem->setPalette(warning);
    problem->hide();
    grid->addWidget(problem, 3, 0, 1, 2);

    const QString lowerBound =
        tr("Считается по замерам панели. Пока выход включён, а замеров нет (связь "
           "потеряна), ничего не прибавляется: это время показано как «без замеров», и заряд "
           "с энергией тогда не меньше показанного.");
    for (QLabel *label : {charge, energy, onTime, gap})
        label->setToolTip(lowerBound);

    pageLayout.addWidget(box, pageLayout.rowCount(), 0);

    connect(resetButton, &QPushButton::clicked, this, &EnergyCountersView::AskReset);
    connect(guard, &DeviceGuard::countersChanged, this, &EnergyCountersView::Show);
    Show();
}

void EnergyCountersView::Show()
{
    const EnergyTotals &totals = guard->Totals();
    // With time uncounted the totals are only a lower bound; the mark says so at a glance.
    const QString atLeast = totals.gapSeconds > 0 ? QStringLiteral("≥ ") : QString();
    charge->setText(atLeast + CounterAmountText(totals.AmpereHours(), tr("А·ч")));
    energy->setText(atLeast + CounterAmountText(totals.WattHours(), tr("Вт·ч")));
    onTime->setText(tr("вкл. %1").arg(CounterDurationText(totals.onSeconds)));
    gap->setText(tr("без замеров %1").arg(CounterDurationText(totals.gapSeconds)));
    resetAt->setText(CounterResetText(totals.resetAt));
    resetAt->setToolTip(tr("Время последнего сброса счётчиков"));
    // A failed write is found out when the counters are saved, which follows their changes.
    const QString why = guard->CounterProblem();
    if (!why.isEmpty())
        problem->setText(why.left(1).toUpper() + why.mid(1));
    problem->setVisible(!why.isEmpty());
}

// Modal from a click, not from a tick: the poll goes on behind the question.
void EnergyCountersView::AskReset()
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        window, tr("Счётчики"), tr("Обнулить заряд, энергию и время работы выхода?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        guard->ResetCounters();
}
