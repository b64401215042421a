#pragma once

#include <QString>

#include <optional>

// Where the broker is, from `mqtt://[user[:password]@]host[:port]` or `mqtts://…`.
struct MqttEndpoint
{
    QString host;
    quint16 port = 0;
    bool tls = false;
    // Credentials written into the address; the last resort, visible to every `ps`.
    QString user;
    QString password;
    bool hasCredentials = false;

    QString displayName() const;
};

constexpr quint16 mqttDefaultPort = 1883;
constexpr quint16 mqttsDefaultPort = 8883;

std::optional<MqttEndpoint> parseMqttUrl(const QString &text, QString *error);
