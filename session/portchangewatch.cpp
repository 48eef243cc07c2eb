#include "session/portchangewatch.h"

#include <QFileSystemWatcher>
#include <QTimerEvent>

PortChangeWatch::PortChangeWatch(const QStringList &folders, int intervalMs, QObject *parent)
    : QObject(parent), watcher(new QFileSystemWatcher(this)), intervalMs(intervalMs)
{
    QStringList unique = folders;
    unique.removeDuplicates();
    unique.removeAll(QString());
    if (!unique.isEmpty())
        watching = watcher->addPaths(unique).size() < unique.size();
    if (watching)
        connect(watcher, &QFileSystemWatcher::directoryChanged, this,
                &PortChangeWatch::FolderChanged);
    else
        pace.start(intervalMs, this);
}

void PortChangeWatch::FolderChanged()
{
    if (pace.isActive())
        return;
    const qint64 left = sinceReport.isValid() ? intervalMs - sinceReport.elapsed() : qint64(0);
    if (left <= 0)
        Report();
    else
        pace.start(int(left), this);
}

void PortChangeWatch::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != pace.timerId())
        return QObject::timerEvent(event);
    if (watching)
        pace.stop();
    Report();
}

void PortChangeWatch::Report()
{
    sinceReport.start();
    emit changed();
}
