#include "serial/portlink.h"

#include <QDir>
#include <QFileInfo>

QString stableLinkFor(const QString &portPath)
{
    const QString target = QFileInfo(portPath).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.absoluteFilePath() != portPath && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    return {};
}
