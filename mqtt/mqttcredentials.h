#pragma once

#include <QString>

#include <optional>

struct MqttCredentials
{
    QString user;
    QString password;
};

constexpr char mqttUserVariable[] = "PX8107_MQTT_USER";
constexpr char mqttPasswordVariable[] = "PX8107_MQTT_PASSWORD";

// The user on the first line, the password on the second; nothing else in the file.
std::optional<MqttCredentials> readMqttCredentialsFile(const QString &path, QString *error);

// Empty when PX8107_MQTT_USER is unset; a password without a user is an error.
std::optional<MqttCredentials> mqttCredentialsFromEnvironment(QString *error);
