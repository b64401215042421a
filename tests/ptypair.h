#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for the far end of a serial line. The test keeps its own fd on
// the slave side, so the window's exclusive open does not shut it out and the master never sees
// EIO while the window's port is closed.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return masterFd >= 0 && slaveFd >= 0; }
    QString slavePath() const { return path; }

    bool write(const QByteArray &bytes);
    // Everything that arrives within timeoutMs, stopping early once `expected` bytes are in.
    QByteArray read(int expected, int timeoutMs = 1500);
    // Discards what the window has written so far, letting the event loop run for a moment.
    void drain();
    // Discards what is already on the line, without running the event loop.
    void discardWritten();
    // Bytes on the window's side that its port has not taken yet, -1 on error.
    int waiting() const;
    // Baud rate the window has set on the line.
    int lineRate() const;
    // The far end disappears, as an unplugged adapter does.
    void hangUp();

private:
    int masterFd = -1;
    int slaveFd = -1;
    QString path;
};
