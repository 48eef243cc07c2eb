#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The line settings of a terminal as the kernel holds them. The converter understands only
// 9200 baud 8N1; the emulator reads what the far end of its pseudo-terminal has set, and test
// clients set it as the panel does. A Linux pseudo-terminal keeps the speeds and the stop bits
// it is given but always stores 8 data bits without parity, whatever was asked for.
struct LineSettings
{
    int inputBaud = 9200;
    int outputBaud = 9200;
    int dataBits = 8;
    char parity = 'N'; // N, E, O, M (mark) or S (space)
    int stopBits = 1;

    // What the converter talks.
    static LineSettings converterLine() { return {}; }
    // From the flags and speeds of a struct termios2.
    static LineSettings fromTermios(quint32 cflag, quint32 inputSpeed, quint32 outputSpeed);
    // Of the terminal open at fd; nothing when it cannot be read (not a terminal).
    static std::optional<LineSettings> read(int fd);
    // Sets these on the terminal open at fd, leaving its other flags alone.
    bool applyTo(int fd) const;

    // "9200 8N1"; differing speeds as "in/out", e.g. "9600/115200 8N1".
    QString text() const;

    bool operator==(const LineSettings &other) const
    {
        return inputBaud == other.inputBaud && outputBaud == other.outputBaud &&
               dataBits == other.dataBits && parity == other.parity && stopBits == other.stopBits;
    }
    bool operator!=(const LineSettings &other) const { return !(*this == other); }
};
