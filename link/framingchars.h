#pragma once

#include <QByteArray>

// The characters that frame the converter's ASCII-hex protocol.
struct FramingChars
{
    QByteArray digits;     // digit i stands for the value i; only these characters are digits
    char requestStart = 0; // first character of every request
    char replyStart = 0;   // first character of every reply
    char endChar = 0;      // last character of every request and reply
};
