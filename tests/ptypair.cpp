#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    masterFd = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0)
        return;
    path = QString::fromLocal8Bit(ptsname(masterFd));
    slaveFd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slaveFd < 0)
        return;
    termios tio{};
    tcgetattr(slaveFd, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveFd, TCSANOW, &tio);
}

PtyPair::~PtyPair()
{
    hangUp();
}

bool PtyPair::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyPair::read(int expected, int timeoutMs)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < expected && clock.elapsed() < timeoutMs) {
        // The window's port writes from the event loop, so keep it turning while waiting.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pfd{masterFd, POLLIN, 0};
        if (::poll(&pfd, 1, 5) <= 0 || !(pfd.revents & POLLIN))
            continue;
        char chunk[256];
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n > 0)
            bytes.append(chunk, int(n));
    }
    return bytes;
}

void PtyPair::drain()
{
    read(1 << 20, 50);
}

void PtyPair::discardWritten()
{
    pollfd pfd{masterFd, POLLIN, 0};
    char chunk[256];
    while (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) &&
           ::read(masterFd, chunk, sizeof chunk) > 0) {
    }
}

int PtyPair::waiting() const
{
    int count = 0;
    return ::ioctl(slaveFd, FIONREAD, &count) == 0 ? count : -1;
}

int PtyPair::lineRate() const
{
    termios tio{};
    if (tcgetattr(slaveFd, &tio) != 0)
        return -1;
    switch (cfgetospeed(&tio)) {
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    default:
        return 0;
    }
}

void PtyPair::hangUp()
{
    if (slaveFd >= 0)
        ::close(slaveFd);
    if (masterFd >= 0)
        ::close(masterFd);
    slaveFd = masterFd = -1;
}
