#include "app/highdpi.h"

#include <QGuiApplication>

void PrepareHighDpiScaling()
{
    // Without scaling, Qt 5 enlarges only the fonts at 125 % and up, and the fixed sizes of the
    // forms then cut their texts off. With it, every size grows by the same factor.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // The exact factor: rounding 125 % down to 100 % gives small unscaled-looking texts, and
    // rounding 150 % up to 200 % a window too tall for a laptop screen.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    // Icons drawn from their larger images rather than blown up.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}
