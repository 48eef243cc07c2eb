#pragma once

#include <QString>

// The emulator's end of a pseudo-terminal. The master is nonblocking; the emulator also holds
// the slave open (raw, no echo) so the master never sees a hang-up between client sessions and
// the line settings survive them. close() is the device vanishing: clients reading the slave
// get an error, the slave path disappears and the link, if any, is removed.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool open(QString *error = nullptr);
    void close();
    bool isOpen() const { return masterFd >= 0; }
    int master() const { return masterFd; }
    // The emulator's own descriptor of the slave, through which the far end's line settings
    // can be read.
    int slave() const { return slaveFd; }
    QString slavePath() const { return slaveName; }

    // Keeps a symbolic link at path pointing at the slave while open. An existing symbolic link
    // there is replaced; any other file is left alone and reported.
    bool setLinkPath(const QString &path, QString *error = nullptr);
    QString linkPath() const { return link; }

private:
    bool placeLink(QString *error);
    void removeLink();

    int masterFd = -1;
    int slaveFd = -1;
    QString slaveName;
    QString link;
};
