#pragma once

#include <QString>

class ConverterEmulator;
class QCommandLineParser;

// The emulator program's command line: its options, and the emulator set up from them.
namespace CommandLineOptions {

// What the program does itself rather than the emulator.
struct Program
{
    QString link;
    QString stateFile;
    bool quiet = false;
    quint16 consolePort = 0; // 0: the console is standard input only
    int hangUpAfterS = 0;    // 0: never
    int returnAfterS = 0;    // 0: stay away
};

void addTo(QCommandLineParser &parser);
// Sets the emulator up from the parsed options and fills program; false, with a message
// naming the option, when a value is bad.
bool apply(const QCommandLineParser &parser, ConverterEmulator &emulator, Program &program,
           QString *error);

} // namespace CommandLineOptions
