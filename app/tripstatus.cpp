#include "app/tripstatus.h"

#include "guard/deviceguard.h"
#include "guard/protectionrecord.h"

#include <QGridLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>

TripStatus::TripStatus(DeviceGuard *guard, QPushButton *outputButton, QObject *parent)
    : QObject(parent), guard(guard), outputButton(outputButton)
{
    lines = new QWidget;
    lines->setObjectName(QStringLiteral("widgetTrip"));
    auto *grid = new QGridLayout(lines);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    trip = new QLabel;
    trip->setObjectName(QStringLiteral("labelTrip"));
    QPalette red = trip->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    trip->setPalette(red);
    QFont bold = trip->font();
    bold.setBold(true);
    trip->setFont(bold);
    // Cut at the window's edge rather than widening it; the tip holds the whole text.
    trip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(trip, 0, 0, 1, 2);

    recordProblem = new QLabel;
    recordProblem->setObjectName(QStringLiteral("labelTripRecordProblem"));
    recordProblem->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(recordProblem, 1, 0);

    acknowledge = new QToolButton;
    acknowledge->setObjectName(QStringLiteral("toolButtonAcknowledgeTrip"));
    acknowledge->setText(tr("Сбросить защиту"));
    acknowledge->setToolTip(tr("Выход снова можно будет включить"));
    // As tall as the status line's text, as the SCPI button.
    acknowledge->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    grid->addWidget(acknowledge, 1, 1);
    grid->setColumnStretch(0, 1);

    connect(acknowledge, &QToolButton::clicked, guard, &DeviceGuard::Acknowledge);
    connect(guard, &DeviceGuard::tripped, this, &TripStatus::Show);
    connect(guard, &DeviceGuard::tripCleared, this, &TripStatus::Show);
    Show();
}

void TripStatus::Show()
{
    const std::optional<Trip> &active = guard->ActiveTrip();
    lines->setVisible(active.has_value());
    outputButton->setEnabled(!active);
    if (!active) {
        outputButton->setToolTip(QString());
        return;
    }
    const QString what = QStringLiteral("%1: %2").arg(TripName(active->kind), TripText(*active));
    trip->setText(what);
    trip->setToolTip(tr("Сработала защита, выход выключен: %1").arg(what));
    outputButton->setToolTip(
        tr("Выход выключен защитой (%1). Чтобы включить его, нажмите «Сбросить защиту» внизу "
           "окна.")
            .arg(what));
    const QString problem = guard->RecordProblem();
    recordProblem->setText(problem.isEmpty() ? QString()
                                             : tr("Не записано в журнал защиты: %1").arg(problem));
    recordProblem->setToolTip(recordProblem->text());
}
