#include "ctl/identity.h"

Answer<Identity> readIdentity(SensorClient &client)
{
    const settings::SettingKey &protocol = *settings::find(QStringLiteral("protocol"));
    const Answer<int> toNative = client.set(protocol, int(ProtocolCode::Native));
    if (!toNative)
        return {std::nullopt, toNative.failure};
    const Answer<QString> id = client.deviceId();
    const Answer<QString> firmware = id ? client.firmware() : Answer<QString>{};
    const Answer<int> toModbus = client.set(protocol, int(ProtocolCode::Modbus));
    if (!id)
        return {std::nullopt, id.failure};
    if (!firmware)
        return {std::nullopt, firmware.failure};
    if (!toModbus)
        return {std::nullopt, toModbus.failure};
    return {Identity{*id, *firmware}, {}};
}
