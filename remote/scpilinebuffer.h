#pragma once

#include <QByteArray>

// A script's input between its socket and the parser: whole lines out, and never more than its
// capacity held, so that a script that sends faster than it takes its answers waits in its own
// buffers rather than in the panel's memory.
class ScpiLineBuffer
{
public:
    enum class Take
    {
        Line,    // the next line, without its LF and a CR before it
        Wait,    // no whole line yet
        End,     // the input has ended and every line has been taken
        TooLong, // the next line is over the limit; nothing after it can be framed
    };

    // The capacity holds at least a line at the limit with its CR LF.
    ScpiLineBuffer(int maxLineBytes, int capacity);

    // How many more bytes it takes now.
    int Room() const;
    int Held() const;
    void Append(const char *data, int size);
    // The peer has sent all it will: what follows its last LF is a line of its own.
    void EndInput();
    bool InputEnded() const;
    Take TakeLine(QByteArray &line);

private:
    int maxLineBytes;
    int capacity;
    QByteArray bytes;
    // Where the bytes not yet taken start: taking a line moves this, not the bytes.
    int start = 0;
    bool ended = false;
};
