#include "ctl/identity.h"

#include "ctl/commands.h"
#include "ctl/interrupt.h"

#include <QCoreApplication>

namespace {
// A switch back that fails on a noisy line is tried again: a sensor left in the native protocol
// would answer nothing else.
constexpr int backToModbusAttempts = 3;
} // namespace

Answer<Identity> readIdentity(SensorClient &client)
{
    const InterruptDeferral deferral;
    const settings::SettingKey &protocol = *settings::find(QStringLiteral("protocol"));
    const Answer<int> toNative = client.set(protocol, int(ProtocolCode::Native));
    const Answer<QString> id = toNative ? client.deviceId() : Answer<QString>{};
    const Answer<QString> firmware = id ? client.firmware() : Answer<QString>{};
    // Also after a failed switch: the write may have been carried out and its answer lost.
    Answer<int> toModbus;
    for (int attempt = 0; attempt < backToModbusAttempts && !toModbus; ++attempt)
        toModbus = client.set(protocol, int(ProtocolCode::Modbus));
    for (const ClientFailure *failure : std::initializer_list<const ClientFailure *>{
             &toNative.failure, &id.failure, &firmware.failure, &toModbus.failure})
        if (failure->kind != ClientFailure::Kind::None)
            return {std::nullopt, *failure};
    return {Identity{*id, *firmware}, {}};
}

ExitCode connectAndIdentify(Session &session, Identity &identity)
{
    if (const auto failure = session.connect())
        return *failure;
    if (const ExitCode code = readAddress(session); code != ExitCode::Success)
        return code;
    const Answer<Identity> answer = readIdentity(session.client);
    if (!answer)
        return session.failed(answer.failure, QCoreApplication::translate(
                                                  "px8107ctl", "read device ID and firmware"));
    identity = *answer;
    return ExitCode::Success;
}
