#include "ptyport.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct SpeedRow
{
    speed_t speed;
    qint32 baud;
};
constexpr SpeedRow speedTable[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
    {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

speed_t speedForBaud(qint32 baud)
{
    for (const SpeedRow &row : speedTable)
        if (row.baud == baud)
            return row.speed;
    return B0;
}

qint32 baudForSpeed(speed_t speed)
{
    for (const SpeedRow &row : speedTable)
        if (row.speed == speed)
            return row.baud;
    return 0;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool PtyPort::open(qint32 baud, QString *error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = systemError("grantpt/unlockpt");
        close();
        return false;
    }
    const char *name = ptsname(master_);
    if (!name) {
        *error = systemError("ptsname");
        close();
        return false;
    }
    terminalPath_ = QString::fromLocal8Bit(name);
    terminal_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    if (terminal_ < 0 || tcgetattr(terminal_, &settings) != 0) {
        *error = systemError("open terminal side");
        close();
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // 8N1 until the tool says otherwise.
    settings.c_cflag &= ~(CSTOPB | PARODD);
    settings.c_iflag &= ~INPCK;
#ifdef CMSPAR
    settings.c_cflag &= ~CMSPAR;
#endif
    cfsetispeed(&settings, speedForBaud(baud));
    cfsetospeed(&settings, speedForBaud(baud));
    if (tcsetattr(terminal_, TCSANOW, &settings) != 0) {
        *error = systemError("tcsetattr");
        close();
        return false;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

void PtyPort::close()
{
    if (terminal_ >= 0)
        ::close(terminal_);
    if (master_ >= 0)
        ::close(master_);
    terminal_ = -1;
    master_ = -1;
}

qint32 PtyPort::terminalRate() const
{
    termios settings{};
    if (terminal_ < 0 || tcgetattr(terminal_, &settings) != 0)
        return 0;
    const speed_t input = cfgetispeed(&settings);
    // An input speed of 0 means "the same as the output speed".
    return baudForSpeed(input == B0 ? cfgetospeed(&settings) : input);
}

LineSettings PtyPort::lineSettings() const
{
    LineSettings line;
    line.baud = terminalRate();
    termios settings{};
    if (terminal_ < 0 || tcgetattr(terminal_, &settings) != 0)
        return line;
    switch (settings.c_cflag & CSIZE) {
    case CS5:
        line.dataBits = 5;
        break;
    case CS6:
        line.dataBits = 6;
        break;
    case CS7:
        line.dataBits = 7;
        break;
    default:
        line.dataBits = 8;
    }
    line.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
#ifdef CMSPAR
    const tcflag_t markOrSpace = CMSPAR;
#else
    const tcflag_t markOrSpace = 0;
#endif
    const bool odd = settings.c_cflag & PARODD;
    if (settings.c_cflag & markOrSpace)
        line.parity = odd ? 'M' : 'S';
    else if (odd)
        line.parity = 'O';
    else if ((settings.c_cflag & PARENB) || (settings.c_iflag & INPCK))
        line.parity = 'E';
    return line;
}

int PtyPort::unreadBytes() const
{
    int count = 0;
    if (terminal_ < 0 || ioctl(terminal_, FIONREAD, &count) != 0)
        return 0;
    return count;
}

QByteArray PtyPort::readAvailable()
{
    QByteArray bytes;
    char chunk[256];
    for (;;) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0)
            bytes.append(chunk, int(n));
        if (n < ssize_t(sizeof chunk))
            break;
    }
    return bytes;
}

qint64 PtyPort::write(const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    return written;
}

bool createLink(const QString &linkPath, const QString &target, QString *error)
{
    const QByteArray path = QFile::encodeName(linkPath);
    struct stat status
    {
    };
    if (lstat(path.constData(), &status) == 0) {
        if (!S_ISLNK(status.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
            return false;
        }
        unlink(path.constData());
    }
    if (symlink(QFile::encodeName(target).constData(), path.constData()) != 0) {
        *error = systemError("symlink");
        return false;
    }
    return true;
}

void removeLink(const QString &linkPath, const QString &target)
{
    if (QFile::symLinkTarget(linkPath) == target)
        QFile::remove(linkPath);
}
