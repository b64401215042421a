// Publishes one device's info and then waits to be killed, so a test can see the last will.
//   mqttpublishhelper URL DEVICE-ID INFO-JSON
#include "mqtt/mqttpublisher.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4)
        return 2;
    QString error;
    MqttSettings settings;
    settings.endpoint = *parseMqttUrl(arguments[1], &error);
    MqttPublisher publisher(settings);
    QObject::connect(&publisher, &MqttPublisher::connectedChanged, [](bool connected) {
        if (connected)
            QTextStream(stdout) << "connected" << Qt::endl;
    });
    if (!publisher.start(arguments[2], arguments[3].toUtf8()))
        return 1;
    return app.exec();
}
