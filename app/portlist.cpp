#include "app/portlist.h"

#include <QDir>

QStringList PortNames(const QStringList &enumerated, const QString &extraPorts)
{
    QStringList names = extraPorts.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    names += enumerated;
    return names;
}
