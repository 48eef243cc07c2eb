#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class QFileSystemWatcher;

// Tells when the set of serial ports may have changed, so that the ports are listed again only
// then: listing them walks all of the system's devices (about 10 ms on Linux). It watches the
// folders the ports live in where the platform allows; where none of them can be watched it
// reports a possible change every interval instead. Reports come at least an interval apart.
class PortChangeWatch : public QObject
{
    Q_OBJECT

public:
    PortChangeWatch(const QStringList &folders, int intervalMs, QObject *parent = nullptr);

signals:
    void changed();

protected:
    // A basic timer rather than a QTimer child: it is only the pace of the reports.
    void timerEvent(QTimerEvent *event) override;

private:
    void FolderChanged();
    void Report();

    QFileSystemWatcher *watcher = nullptr;
    QBasicTimer pace;
    QElapsedTimer sinceReport;
    int intervalMs = 0;
    bool watching = false;
};
