#include "cli/console.h"

#include <cstdio>

Console::Console()
{
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
}

void Console::Print(const QByteArray &text)
{
    out.write(text);
    out.flush();
}

void Console::Complain(const QByteArray &text)
{
    err.write(text);
    err.flush();
}
