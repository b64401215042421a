#pragma once

#include "mqtt/mqttpublisher.h"

#include <QCommandLineParser>

#include <optional>

// --mqtt URL, --topic PREFIX, --mqtt-ca FILE, --mqtt-client-id ID, --mqtt-credentials FILE.
void addMqttOptions(QCommandLineParser &parser);
// True when any of them is given; mqttSettingsFromCommandLine() then says what is missing.
bool mqttOptionsGiven(const QCommandLineParser &parser);
// Credentials: the file if given, else those in the address, else PX8107_MQTT_USER and
// PX8107_MQTT_PASSWORD. An error names the option or file at fault.
std::optional<MqttSettings> mqttSettingsFromCommandLine(const QCommandLineParser &parser,
                                                        QString *error);
