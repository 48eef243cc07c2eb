#include "cli/failure.h"

int ExitStatusOf(Failure failure)
{
    switch (failure) {
    case Failure::Usage:
        return 2;
    case Failure::PortBusy:
    case Failure::PortMissing:
    case Failure::PortPermission:
    case Failure::PortOther:
    case Failure::NoPanel:
    case Failure::CountersBusy:
        return 3;
    case Failure::NoReply:
        return 4;
    case Failure::BadReply:
        return 5;
    case Failure::BadFile:
        return 6;
    }
    return 2;
}

QString FailureKey(Failure failure)
{
    switch (failure) {
    case Failure::Usage:
        return QStringLiteral("usage");
    case Failure::PortBusy:
        return QStringLiteral("port-busy");
    case Failure::PortMissing:
        return QStringLiteral("port-missing");
    case Failure::PortPermission:
        return QStringLiteral("port-permission");
    case Failure::PortOther:
        return QStringLiteral("port-open");
    case Failure::NoPanel:
        return QStringLiteral("no-panel");
    case Failure::CountersBusy:
        return QStringLiteral("counters-busy");
    case Failure::NoReply:
        return QStringLiteral("no-reply");
    case Failure::BadReply:
        return QStringLiteral("bad-reply");
    case Failure::BadFile:
        return QStringLiteral("bad-file");
    }
    return QString();
}

Failure FailureOf(LinkResult result)
{
    return result == NoReply ? Failure::NoReply : Failure::BadReply;
}
