#include "ctl/commands.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QSerialPortInfo>

ExitCode runPorts(Session &session)
{
    QJsonArray ports;
    QList<QStringList> rows{{QCoreApplication::translate("px8107ctl", "PORT"),
                             QCoreApplication::translate("px8107ctl", "DESCRIPTION"),
                             QCoreApplication::translate("px8107ctl", "MANUFACTURER"),
                             QCoreApplication::translate("px8107ctl", "SERIAL"),
                             QCoreApplication::translate("px8107ctl", "USB ID")}};
    const auto hex = [](quint16 id) {
        return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
    };
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const bool hasIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        ports.append(QJsonObject{
            {QStringLiteral("name"), info.portName()},
            {QStringLiteral("path"), info.systemLocation()},
            {QStringLiteral("description"), info.description()},
            {QStringLiteral("manufacturer"), info.manufacturer()},
            {QStringLiteral("serial-number"), info.serialNumber()},
            {QStringLiteral("vendor-id"),
             hasIds ? QJsonValue(hex(info.vendorIdentifier())) : QJsonValue()},
            {QStringLiteral("product-id"),
             hasIds ? QJsonValue(hex(info.productIdentifier())) : QJsonValue()},
        });
        rows << QStringList{
            info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber(),
            hasIds ? hex(info.vendorIdentifier()) + QLatin1Char(':') + hex(info.productIdentifier())
                   : QString()};
    }
    return session.finish({{QStringLiteral("ports"), ports}}, Output::table(rows));
}
