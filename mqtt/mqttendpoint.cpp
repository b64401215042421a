#include "mqtt/mqttendpoint.h"

#include <QCoreApplication>
#include <QUrl>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MqttEndpoint", text);
}
} // namespace

QString MqttEndpoint::displayName() const
{
    return QStringLiteral("%1://%2:%3")
        .arg(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), host)
        .arg(port);
}

std::optional<MqttEndpoint> parseMqttUrl(const QString &text, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        *error = tr("broker address \"%1\" is not of the form mqtt://host:port or "
                    "mqtts://host:port")
                     .arg(text);
        return std::nullopt;
    }
    MqttEndpoint endpoint;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mqtts")) {
        endpoint.tls = true;
    } else if (scheme != QLatin1String("mqtt")) {
        *error = tr("broker address \"%1\": unknown scheme \"%2\" (use mqtt:// or mqtts://)")
                     .arg(text, url.scheme());
        return std::nullopt;
    }
    endpoint.host = url.host();
    if (endpoint.host.isEmpty()) {
        *error = tr("broker address \"%1\" names no host").arg(text);
        return std::nullopt;
    }
    if (!url.path().isEmpty() && url.path() != QLatin1String("/")) {
        *error = tr("broker address \"%1\" has a path; the topic is given with --topic").arg(text);
        return std::nullopt;
    }
    if (url.hasQuery() || url.hasFragment()) {
        *error =
            tr("broker address \"%1\" has a query or fragment, which MQTT does not use").arg(text);
        return std::nullopt;
    }
    const int port = url.port(endpoint.tls ? mqttsDefaultPort : mqttDefaultPort);
    if (port <= 0) {
        *error = tr("broker address \"%1\": port 0 is not a port").arg(text);
        return std::nullopt;
    }
    endpoint.port = quint16(port);
    if (!url.userName().isEmpty()) {
        endpoint.user = url.userName();
        endpoint.password = url.password();
        endpoint.hasCredentials = true;
    }
    return endpoint;
}
