#pragma once

#include <QObject>

#include <functional>

// A call made on the next turn of the event loop, once however often it is asked for before
// then; none once its context object is gone.
class NextTurnCall
{
public:
    NextTurnCall(QObject *context, std::function<void()> call);

    void Schedule();

private:
    QObject *context;
    std::function<void()> call;
    bool scheduled = false;
};
