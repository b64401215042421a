#include "ctl/commands.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

const QString unavailable = QStringLiteral("-");
} // namespace

// Modbus first; a sensor that ignores it may be speaking its native protocol, which gives only
// the device ID and firmware. Over Modbus those two are not answered.
ExitCode runInfo(Session &session)
{
    if (const auto failure = session.connect())
        return *failure;
    SensorClient &client = session.client;
    QJsonObject document{{QStringLiteral("port"), session.options.port},
                         {QStringLiteral("rate"), session.engine.baudRate()}};
    QList<QStringList> rows{{tr("port"), session.options.port},
                            {tr("rate"), QString::number(session.engine.baudRate())}};
    const auto add = [&](const QString &name, const QJsonValue &json, const QString &text) {
        document.insert(name, json);
        rows << QStringList{name, text.isEmpty() ? unavailable : text};
    };

    const Answer<int> address = client.probe();
    if (address) {
        add(QStringLiteral("protocol"), QStringLiteral("modbus"), QStringLiteral("modbus"));
        add(QStringLiteral("address"), *address, QString::number(*address));
        add(QStringLiteral("device-id"), QJsonValue(), QString());
        add(QStringLiteral("firmware"), QJsonValue(), QString());
        for (const char *name : {"work-mode", "work-units", "units-on", "self-check"}) {
            const settings::SettingKey &key = *settings::find(QLatin1String(name));
            const Answer<int> value = client.get(key);
            if (!value)
                return session.failed(value.failure, tr("read %1").arg(key.key));
            add(key.key, QJsonValue::fromVariant(settings::jsonValue(key, *value)),
                settings::formatValue(key, *value));
        }
        return session.finish(document, Output::table(rows));
    }
    if (address.failure.outcome != reply::Outcome::Timeout)
        return session.failed(address.failure, tr("read address"));

    const Answer<QString> id = client.deviceId();
    if (!id)
        return session.failed(address.failure, tr("read address (no native answer either)"));
    const Answer<QString> firmware = client.firmware();
    if (!firmware)
        return session.failed(firmware.failure, tr("read firmware"));
    add(QStringLiteral("protocol"), QStringLiteral("native"), QStringLiteral("native"));
    add(QStringLiteral("address"), QJsonValue(), QString());
    add(QStringLiteral("device-id"), *id, *id);
    add(QStringLiteral("firmware"), *firmware, *firmware);
    for (const char *name : {"work-mode", "work-units", "units-on", "self-check"})
        add(QLatin1String(name), QJsonValue(), QString());
    return session.finish(document, Output::table(rows));
}
