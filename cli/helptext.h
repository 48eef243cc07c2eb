#pragma once

#include <QString>

// The text of --help: the overview for an empty topic, else the command's own.
QString HelpText(const QString &topic);
