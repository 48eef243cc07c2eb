// Test helper: a session on an emulated converter with the output on into a load, counted by a
// guard that keeps its counters in the given folder, until it is killed.
//
//     guardchild <folder>

#include "guard/deviceguard.h"
#include "tests/support/emulatedsession.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: guardchild <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    EmulatedSession bench;
    QString error;
    if (!bench.Start(&error)) {
        std::fprintf(stderr, "guardchild: %s\n", qPrintable(error));
        return 1;
    }
    bench.emulator.setSetpoints(Setpoints{12000, 2000});
    bench.emulator.setLoadResistance(10);
    bench.emulator.setOutputOn(true);
    QSettings store(folder + QStringLiteral("/child.ini"), QSettings::IniFormat);
    DeviceGuard guard(&bench.session, &store, folder);
    if (!bench.Open())
        return 1;
    return app.exec();
}
