#pragma once

#include "sensorline.h"

#include <QByteArray>
#include <QString>

// The sensor's end of a pseudo-terminal. The simulator keeps a descriptor of its own on the
// terminal side from the start, so the line stays up while the tool's port is closed and the
// tool's exclusive open does not lock the simulator out.
class PtyPort
{
public:
    PtyPort() = default;
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;
    ~PtyPort() { close(); }

    bool open(qint32 baud, QString *error);
    void close();
    bool isOpen() const { return master_ >= 0; }

    int readDescriptor() const { return master_; }
    QString terminalPath() const { return terminalPath_; }

    // The input rate last set on the terminal side, by the tool or at start; 0 if not standard.
    qint32 terminalRate() const;
    // Rate, data bits, parity and stop bits last set on the terminal side. A Linux pty forces 8
    // data bits and clears PARENB on every change, so parity shows only through what it keeps:
    // PARODD (odd), CMSPAR (mark or space) and the input parity check INPCK (any parity, as
    // libmodbus sets it); even parity set without INPCK and 7 data bits cannot be seen there.
    LineSettings lineSettings() const;

    // Everything the tool has written so far.
    QByteArray readAvailable();
    // Bytes written to the tool that it has not read yet.
    int unreadBytes() const;
    // Bytes the line took; a full terminal queue loses the rest, as a line nobody reads would.
    qint64 write(const QByteArray &bytes);

private:
    int master_ = -1;
    int terminal_ = -1;
    QString terminalPath_;
};

// A symbolic link to the terminal, replacing a stale link; a file that is no link is refused.
bool createLink(const QString &linkPath, const QString &target, QString *error);
// Removes the link only while it still points to target.
void removeLink(const QString &linkPath, const QString &target);
