#include "mqtt/mqttcommandline.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MqttCommandLine", text);
}

const QString urlOption = QStringLiteral("mqtt");
const QString topicOption = QStringLiteral("topic");
const QString caOption = QStringLiteral("mqtt-ca");
const QString clientIdOption = QStringLiteral("mqtt-client-id");
const QString credentialsOption = QStringLiteral("mqtt-credentials");
} // namespace

void addMqttOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {urlOption,
         tr("Publish every sample to the MQTT broker at URL (mqtt://host[:port] or "
            "mqtts://host[:port])."),
         QStringLiteral("URL")},
        {topicOption, tr("Topic prefix for --mqtt (default px8107)."), QStringLiteral("PREFIX")},
        {caOption, tr("Certificate authority file for an mqtts:// broker."),
         QStringLiteral("FILE")},
        {clientIdOption, tr("MQTT client id (default: program-deviceid-pid)."),
         QStringLiteral("ID")},
        {credentialsOption,
         tr("File with the MQTT user on the first line, the password on the "
            "second."),
         QStringLiteral("FILE")},
    });
}

bool mqttOptionsGiven(const QCommandLineParser &parser)
{
    for (const QString &option :
         {urlOption, topicOption, caOption, clientIdOption, credentialsOption}) {
        if (parser.isSet(option))
            return true;
    }
    return false;
}

std::optional<MqttSettings> mqttSettingsFromCommandLine(const QCommandLineParser &parser,
                                                        QString *error)
{
    if (!parser.isSet(urlOption)) {
        for (const QString &option : {topicOption, caOption, clientIdOption, credentialsOption}) {
            if (parser.isSet(option)) {
                *error = tr("--%1 needs --mqtt").arg(option);
                return std::nullopt;
            }
        }
        *error = tr("no --mqtt broker address given");
        return std::nullopt;
    }
    MqttSettings settings;
    const auto endpoint = parseMqttUrl(parser.value(urlOption), error);
    if (!endpoint)
        return std::nullopt;
    settings.endpoint = *endpoint;

    if (parser.isSet(topicOption)) {
        const QString prefix = parser.value(topicOption);
        if (prefix.isEmpty() || prefix.contains(QLatin1Char('+')) ||
            prefix.contains(QLatin1Char('#'))) {
            *error =
                tr("--topic \"%1\": a topic prefix is not empty and holds no + or #").arg(prefix);
            return std::nullopt;
        }
        settings.topicPrefix = prefix;
    }
    if (parser.isSet(caOption)) {
        if (!settings.endpoint.tls) {
            *error = tr("--mqtt-ca needs an mqtts:// broker address");
            return std::nullopt;
        }
        settings.caFile = parser.value(caOption);
    }
    settings.clientId = parser.value(clientIdOption);

    if (parser.isSet(credentialsOption)) {
        if (settings.endpoint.hasCredentials) {
            *error = tr("credentials given twice: in --mqtt-credentials and in the broker address");
            return std::nullopt;
        }
        const auto credentials = readMqttCredentialsFile(parser.value(credentialsOption), error);
        if (!credentials)
            return std::nullopt;
        settings.credentials = *credentials;
    } else if (settings.endpoint.hasCredentials) {
        settings.credentials = {settings.endpoint.user, settings.endpoint.password};
    } else {
        const auto credentials = mqttCredentialsFromEnvironment(error);
        if (!credentials)
            return std::nullopt;
        settings.credentials = *credentials;
    }
    return settings;
}
