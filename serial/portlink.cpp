#include "serial/portlink.h"

#include <QDir>
#include <QFileInfo>

QString stableLinkFor(const QString &portPath, const QString &linkDirectory)
{
    // A port may be named as QSerialPort takes it, without its directory ("ttyUSB0").
    const QString path =
        QDir::isAbsolutePath(portPath) ? portPath : QStringLiteral("/dev/") + portPath;
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir byId(linkDirectory);
    for (const QFileInfo &link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.absoluteFilePath() != path && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    return {};
}
