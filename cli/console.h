#pragma once

#include <QByteArray>
#include <QFile>

// Standard output for results and standard error for everything else, each write flushed at
// once so that a pipe sees every line as it is made.
class Console
{
public:
    Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    void Print(const QByteArray &text);
    void Complain(const QByteArray &text);
    QIODevice *ErrorDevice() { return &err; }

private:
    QFile out;
    QFile err;
};
