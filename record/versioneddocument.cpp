#include "record/versioneddocument.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonValue>
#include <QVariant>

std::optional<QJsonObject> readVersionedDocument(const QByteArray &json, const DocumentKind &kind,
                                                 QString &error)
{
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("VersionedDocument", text);
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = tr("not valid JSON at offset %1: %2")
                    .arg(parseError.offset)
                    .arg(parseError.errorString());
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value("format").toString() != QLatin1String(kind.format)) {
        error = tr("not %1 %2 (\"format\" must be \"%3\")")
                    .arg(QLatin1String(kind.article), QLatin1String(kind.name),
                         QLatin1String(kind.format));
        return std::nullopt;
    }
    if (root.value("version").toInt() != kind.version) {
        error = tr("%1 version %2 is not supported (this program reads version %3)")
                    .arg(QLatin1String(kind.name))
                    .arg(root.value("version").toVariant().toString())
                    .arg(kind.version);
        return std::nullopt;
    }
    return root;
}
