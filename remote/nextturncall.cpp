#include "remote/nextturncall.h"

#include <QTimer>

NextTurnCall::NextTurnCall(QObject *context, std::function<void()> call)
    : context(context), call(std::move(call))
{
}

void NextTurnCall::Schedule()
{
    if (scheduled)
        return;
    scheduled = true;
    QTimer::singleShot(0, context, [this] {
        scheduled = false;
        call();
    });
}
