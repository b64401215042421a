#include "record/snapshot.h"

#include "record/samplerow.h"
#include "record/versioneddocument.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

constexpr DocumentKind snapshotKind{"px8107-snapshot", 1, "settings snapshot", "a"};

QString tr(const char *text)
{
    return QCoreApplication::translate("Snapshot", text);
}

bool wholeNumber(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == std::floor(value.toDouble()) &&
           std::abs(value.toDouble()) < 1e9;
}

} // namespace

QByteArray snapshotToJson(const Snapshot &snapshot)
{
    const QJsonObject root{
        {"format", snapshotKind.format},
        {"version", snapshotKind.version},
        {"time", isoUtcMs(snapshot.time)},
        {"program",
         QJsonObject{{"name", snapshot.programName}, {"version", snapshot.programVersion}}},
        {"line", QJsonObject{{"port", snapshot.port},
                             {"baud", snapshot.baud},
                             {"address", snapshot.address},
                             {"protocol", snapshot.protocol}}},
        {"device", QJsonObject{{"id", snapshot.deviceId}, {"firmware", snapshot.firmware}}},
        {"settings", snapshot.settings},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool parseSnapshot(const QByteArray &json, Snapshot &snapshot, QString &error)
{
    snapshot = Snapshot();
    const auto document = readVersionedDocument(json, snapshotKind, error);
    if (!document)
        return false;
    const QJsonObject &root = *document;
    if (!root.value("settings").isObject()) {
        error = tr("\"settings\" must be an object of setting keys and values");
        return false;
    }
    for (const char *member : {"program", "line", "device"}) {
        const QJsonValue value = root.value(QLatin1String(member));
        if (!value.isUndefined() && !value.isObject()) {
            error = tr("\"%1\" must be an object").arg(member);
            return false;
        }
    }
    snapshot.time = QDateTime::fromString(root.value("time").toString(), Qt::ISODateWithMs);
    const QJsonObject program = root.value("program").toObject();
    snapshot.programName = program.value("name").toString();
    snapshot.programVersion = program.value("version").toString();
    const QJsonObject line = root.value("line").toObject();
    snapshot.port = line.value("port").toString();
    snapshot.baud = line.value("baud").toInt();
    snapshot.address = line.value("address").toInt();
    snapshot.protocol = line.value("protocol").toString();
    const QJsonObject device = root.value("device").toObject();
    snapshot.deviceId = device.value("id").toString();
    snapshot.firmware = device.value("firmware").toString();
    snapshot.settings = root.value("settings").toObject();
    return true;
}

std::optional<QString> settingText(const QJsonValue &value)
{
    if (wholeNumber(value))
        return QString::number(qint64(value.toDouble()));
    if (value.isString())
        return value.toString();
    if (!value.isArray())
        return std::nullopt;
    QStringList units;
    for (const QJsonValue &unit : value.toArray()) {
        if (!wholeNumber(unit))
            return std::nullopt;
        units << QString::number(qint64(unit.toDouble()));
    }
    return units.isEmpty() ? QStringLiteral("none") : units.join(QLatin1Char(','));
}
