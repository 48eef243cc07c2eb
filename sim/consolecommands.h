#pragma once

#include <QString>

class ConverterEmulator;

// The emulator program's run-time control: one command line in, one answer out.
namespace ConsoleCommands {

struct Result
{
    QString text;
    bool quit = false;
};

Result execute(ConverterEmulator &emulator, const QString &line);
QString help();

} // namespace ConsoleCommands
