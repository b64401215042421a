#include "porthint.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace porthint {

static const char *const accessRefused = QT_TRANSLATE_NOOP(
    "MainWindow", "Access to the port was refused: your user may need to be in the \"dialout\" "
                  "group (sudo usermod -aG dialout $USER, then log out and in again).");
static const char *const heldByAnother = QT_TRANSLATE_NOOP(
    "MainWindow", "The port is held by another program (a terminal, another copy of this tool): "
                  "close it, then open the port again.");
static const char *const lost = QT_TRANSLATE_NOOP(
    "MainWindow", "Reconnect the adapter and open the port again. If access is then refused, "
                  "your user may need to be in the \"dialout\" group; if the port is busy, close "
                  "the other program that holds it.");

Trouble troubleOf(bool permissionError, bool deviceFileRefusesUser)
{
    if (!permissionError)
        return Trouble::Other;
    return deviceFileRefusesUser ? Trouble::AccessRefused : Trouble::HeldByAnother;
}

QString openAdvice(Trouble trouble)
{
    switch (trouble) {
    case Trouble::AccessRefused:
        return QLatin1Char(' ') + QCoreApplication::translate("MainWindow", accessRefused);
    case Trouble::HeldByAnother:
        return QLatin1Char(' ') + QCoreApplication::translate("MainWindow", heldByAnother);
    case Trouble::Other:
        break;
    }
    return QString();
}

QString lostAdvice()
{
    return QLatin1Char(' ') + QCoreApplication::translate("MainWindow", lost);
}

bool deviceFileRefusesUser(const QString &portName)
{
    const QFileInfo file(portName.contains(QLatin1Char('/')) ? portName
                                                             : QStringLiteral("/dev/") + portName);
    return file.exists() && !(file.isReadable() && file.isWritable());
}

} // namespace porthint
