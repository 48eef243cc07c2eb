#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class PortChangeWatch;
class QSettings;

// The serial ports a front end offers: those named in VORNEX_EXTRA_PORTS that exist, then the
// system's, with the port opened last preselected. It tells when the ports may have changed,
// so that they are listed again only then (listing walks all of the system's devices).
class PortCatalog : public QObject
{
    Q_OBJECT

public:
    // The extra ports are read from the environment now; `store` keeps the port opened last
    // and is not owned.
    explicit PortCatalog(QSettings *store, QObject *parent = nullptr);

    // The ports to offer now, in order.
    QStringList Names() const;
    // The entry of `names` to select: `current` while listed, else the port opened last, else
    // the first; -1 for none.
    int ToSelect(const QStringList &names, const QString &current) const;
    void Remember(const QString &port);

signals:
    void mayHaveChanged();

private:
    QSettings *store = nullptr;
    QString extraPorts;
    PortChangeWatch *watch = nullptr;
};
