#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// Redirects the process's standard output into a temporary file while it lives, so that a test
// can read what the code under test printed.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything written so far (the redirection stays in place).
    QByteArray text();

private:
    QTemporaryFile file;
    int savedFd = -1;
};
