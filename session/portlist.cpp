#include "session/portlist.h"

#include <QDir>

QStringList ExtraPortList(const QString &extraPorts)
{
    return extraPorts.split(QDir::listSeparator(), Qt::SkipEmptyParts);
}

QStringList PortNames(const QStringList &enumerated, const QString &extraPorts,
                      const std::function<bool(const QString &)> &exists)
{
    QStringList names;
    for (const QString &extra : ExtraPortList(extraPorts)) {
        if (exists(extra) || enumerated.contains(extra))
            names << extra;
    }
    for (const QString &name : enumerated) {
        if (!names.contains(name))
            names << name;
    }
    names.removeDuplicates();
    return names;
}

int PortToSelect(const QStringList &names, const QString &current, const QString &remembered)
{
    if (names.isEmpty())
        return -1;
    if (!current.isEmpty() && names.contains(current))
        return int(names.indexOf(current));
    if (!remembered.isEmpty() && names.contains(remembered))
        return int(names.indexOf(remembered));
    return 0;
}
