#include "mqtt/mqttcredentials.h"

#include <QCoreApplication>
#include <QFile>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MqttCredentials", text);
}

// A credentials file is two short lines; anything much bigger is the wrong file.
constexpr qint64 maximumFileSize = 4096;
} // namespace

std::optional<MqttCredentials> readMqttCredentialsFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("credentials file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > maximumFileSize) {
        *error = tr("credentials file %1 is %2 bytes; it should hold two lines, user and password")
                     .arg(path)
                     .arg(file.size());
        return std::nullopt;
    }
    QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines.first().isEmpty()) {
        *error = tr("credentials file %1: the first line (the user) is empty").arg(path);
        return std::nullopt;
    }
    if (lines.size() < 2) {
        *error = tr("credentials file %1: the second line (the password) is missing").arg(path);
        return std::nullopt;
    }
    if (lines.size() > 2) {
        *error = tr("credentials file %1 has %2 lines; it should hold two, user and password")
                     .arg(path)
                     .arg(lines.size());
        return std::nullopt;
    }
    return MqttCredentials{QString::fromUtf8(lines[0]), QString::fromUtf8(lines[1])};
}

std::optional<MqttCredentials> mqttCredentialsFromEnvironment(QString *error)
{
    const QString user = qEnvironmentVariable(mqttUserVariable);
    const bool hasPassword = qEnvironmentVariableIsSet(mqttPasswordVariable);
    if (user.isEmpty()) {
        if (hasPassword) {
            *error = tr("%1 is set but %2 is not").arg(mqttPasswordVariable, mqttUserVariable);
            return std::nullopt;
        }
        return MqttCredentials{};
    }
    return MqttCredentials{user, qEnvironmentVariable(mqttPasswordVariable)};
}
