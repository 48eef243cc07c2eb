#include "tests/support/emulatedsession.h"

EmulatedSession::EmulatedSession()
{
    emulator.setPaced(false);
    emulator.setLinkPath(dir.filePath(QStringLiteral("ttyVORNEX")));
}

bool EmulatedSession::Start(QString *error)
{
    return emulator.start(error);
}

bool EmulatedSession::Open(const QString &name)
{
    return session.Open(name.isEmpty() ? Port() : name);
}
