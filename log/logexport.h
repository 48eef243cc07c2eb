#pragma once

#include <QString>

class QSettings;

// Writes text to path in the local 8-bit encoding, byte for byte (no byte-order mark, no
// line-ending translation). The file is replaced atomically: on any failure the file that was
// there before stays exactly as it was. Returns whether the whole text reached the disk.
bool WriteLogFile(const QString &path, const QString &text);

// The folder the save dialog starts in: the folder of the last export, else the current one.
QString LogExportStartFolder(const QSettings &settings);

// Remembers the folder of fileName as the folder of the last export.
void StoreLogExportFolder(QSettings &settings, const QString &fileName);
