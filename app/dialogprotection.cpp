#include "app/dialogprotection.h"

#include "guard/deviceguard.h"
#include "session/valuelimits.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVector>

namespace {

constexpr TripKind kinds[] = {TripKind::Voltage, TripKind::Current, TripKind::Power};

int Index(TripKind kind)
{
    return static_cast<int>(kind);
}

struct TripCaption
{
    const char *check;
    const char *unit;
    const char *name; // object names: "checkBoxOvp", "doubleSpinBoxOvpLevel", ...
};

const TripCaption &CaptionOf(TripKind kind)
{
    static const TripCaption captions[] = {
        {"Напряжение (OVP)", " В", "Ovp"},
        {"Ток (OCP)", " А", "Ocp"},
        {"Мощность (OPP)", " Вт", "Opp"},
    };
    return captions[Index(kind)];
}

QDoubleSpinBox *ValueBox(const DecimalRange &range, const QString &suffix, const QString &name)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setDecimals(range.decimals);
    box->setRange(range.minimum, range.maximum);
    box->setSingleStep(range.decimals >= 3 ? 0.01 : 0.1);
    box->setSuffix(suffix);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A spin box sizes its edit to the value's text alone; some desktop fonts need room for
    // their widest character besides, or the edit is squeezed below what it needs.
    box->setMinimumWidth(box->sizeHint().width() + box->fontMetrics().maxWidth());
    return box;
}

QCheckBox *CheckBox(const QString &text, const QString &name)
{
    auto *check = new QCheckBox(text);
    check->setObjectName(name);
    return check;
}

// The boxes of a row that is off keep their values but are greyed.
void Follow(QCheckBox *check, const QVector<QWidget *> &boxes)
{
    const auto greyOut = [boxes](bool on) {
        for (QWidget *box : boxes)
            box->setEnabled(on);
    };
    QObject::connect(check, &QCheckBox::toggled, check, greyOut);
    greyOut(check->isChecked());
}

} // namespace

DialogProtection::DialogProtection(DeviceGuard *guard, QWidget *parent)
    : QDialog(parent), guard(guard)
{
    setObjectName(QStringLiteral("DialogProtection"));
    setWindowTitle(tr("Защита"));

    auto *tripsBox = new QGroupBox(tr("Отключение выхода"));
    auto *tripGrid = new QGridLayout(tripsBox);
    tripGrid->addWidget(new QLabel(tr("Порог")), 0, 1, Qt::AlignHCenter);
    tripGrid->addWidget(new QLabel(tr("Выдержка")), 0, 2, Qt::AlignHCenter);
    for (TripKind kind : kinds) {
        const TripCaption &caption = CaptionOf(kind);
        const QString name = QLatin1String(caption.name);
        TripRow &row = trips[Index(kind)];
        row.enabled = CheckBox(tr(caption.check), QStringLiteral("checkBox") + name);
        // The levels a script may set, so that whatever it set shows here unchanged.
        row.level = ValueBox(ProtectionLevelRange(kind), tr(caption.unit),
                             QStringLiteral("doubleSpinBox%1Level").arg(name));
        // A level never set is 0: "—", and the trip stays off until it gets one.
        row.level->setMinimum(0);
        row.level->setSpecialValueText(QStringLiteral("—"));
        row.delay = ValueBox(ProtectionDelayRange(), tr(" с"),
                             QStringLiteral("doubleSpinBox%1Delay").arg(name));
        row.delay->setToolTip(tr("Сколько порог должен быть превышен до отключения; 0 — по "
                                 "первому замеру, 0,5 с — два замера подряд"));
        const int line = Index(kind) + 1;
        tripGrid->addWidget(row.enabled, line, 0);
        tripGrid->addWidget(row.level, line, 1);
        tripGrid->addWidget(row.delay, line, 2);
        Follow(row.enabled, {row.level, row.delay});
    }

    auto *capsBox = new QGroupBox(tr("Уставки не выше"));
    capsBox->setToolTip(tr("Поля уставок на «Панели» не дают ввести больше"));
    auto *capGrid = new QGridLayout(capsBox);
    const auto addCap = [capGrid](CapRow &row, int line, const QString &text,
                                  const DecimalRange &range, const QString &unit,
                                  const QString &name) {
        row.enabled = CheckBox(text, QStringLiteral("checkBox") + name);
        row.value = ValueBox(range, unit, QStringLiteral("doubleSpinBox") + name);
        capGrid->addWidget(row.enabled, line, 0);
        capGrid->addWidget(row.value, line, 1);
        Follow(row.enabled, {row.value});
    };
    addCap(voltageCap, 0, tr("Напряжение"), ValueLimits::SetpointVolts, tr(" В"),
           QStringLiteral("VoltageCap"));
    addCap(currentCap, 1, tr("Ток"), ValueLimits::SetpointAmps, tr(" А"),
           QStringLiteral("CurrentCap"));
    capGrid->setColumnStretch(0, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply |
                                         QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("ОК"));
    buttons->button(QDialogButtonBox::Apply)->setText(tr("Применить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DialogProtection::Apply);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tripsBox);
    layout->addWidget(capsBox);
    layout->addWidget(buttons);
    // Never below what its texts need in this desktop's fonts (a minimum of the dialog's own
    // would take the place of the layout's); opened as wide as the window it belongs to.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    resize(sizeHint().expandedTo(QSize(330, 0)));

    connect(guard, &DeviceGuard::settingsChanged, this,
            [this] { ShowSettings(this->guard->Settings()); });
    ShowSettings(guard->Settings());
}

// What was edited and not applied is dropped when the dialog is closed.
void DialogProtection::showEvent(QShowEvent *event)
{
    ShowSettings(guard->Settings());
    QDialog::showEvent(event);
}

void DialogProtection::ShowSettings(const ProtectionSettings &settings)
{
    for (TripKind kind : kinds) {
        const TripLimit &limit = settings.Limit(kind);
        const TripRow &row = trips[Index(kind)];
        row.enabled->setChecked(limit.enabled);
        row.level->setValue(limit.level);
        row.delay->setValue(limit.delaySeconds);
    }
    const auto showCap = [](const CapRow &row, const std::optional<double> &cap) {
        row.enabled->setChecked(cap.has_value());
        // Without a cap the box offers the converter's limit to start from.
        row.value->setValue(cap.value_or(row.value->maximum()));
    };
    showCap(voltageCap, settings.voltageCap);
    showCap(currentCap, settings.currentCap);
}

ProtectionSettings DialogProtection::TakeSettings() const
{
    ProtectionSettings settings;
    for (TripKind kind : kinds) {
        TripLimit &limit = settings.Limit(kind);
        const TripRow &row = trips[Index(kind)];
        limit.level = row.level->value();
        limit.enabled = row.enabled->isChecked() && limit.level > 0;
        limit.delaySeconds = row.delay->value();
    }
    const auto takeCap = [](const CapRow &row) {
        return row.enabled->isChecked() ? std::optional<double>(row.value->value()) : std::nullopt;
    };
    settings.voltageCap = takeCap(voltageCap);
    settings.currentCap = takeCap(currentCap);
    return settings;
}

void DialogProtection::Apply()
{
    guard->SetSettings(TakeSettings());
}
