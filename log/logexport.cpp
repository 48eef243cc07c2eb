#include "log/logexport.h"

#include "settings/settingskeys.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

bool WriteLogFile(const QString &path, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    QSaveFile file(path);
    // Unbuffered, so that a write cut short by a full disk shows in write()'s count: buffered, the
    // shortfall surfaces only inside commit(), which then still renames the truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Leaving without commit() discards the temporary file and keeps the old one.
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

QString LogExportStartFolder(const QSettings &settings)
{
    const QString folder = settings.value(SettingsKeys::dirLogFile).toString();
    return folder.isEmpty() ? QDir::currentPath() : folder;
}

void StoreLogExportFolder(QSettings &settings, const QString &fileName)
{
    settings.setValue(SettingsKeys::dirLogFile, QFileInfo(fileName).path());
}
