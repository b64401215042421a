#include "sensorclient.h"

#include "commands/nativeframe.h"
#include "commands/requests.h"
#include "serial/codec.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("SensorClient", text);
}

ClientFailure invalidValue(const QString &text)
{
    ClientFailure failure;
    failure.kind = ClientFailure::Kind::InvalidValue;
    failure.text = text;
    return failure;
}

bool isAllowed(const settings::SettingKey &key, int value)
{
    if (key.kind == settings::ValueKind::Choice) {
        for (const settings::Choice &choice : key.choices)
            if (choice.value == value)
                return true;
        return false;
    }
    return value >= key.minimum && value <= key.maximum;
}
} // namespace

ClientFailure replyFailure(const RequestEngine::Result &result)
{
    ClientFailure failure;
    failure.kind = ClientFailure::Kind::Reply;
    failure.outcome = result.outcome;
    failure.exceptionCode = result.exceptionCode;
    failure.text = result.text();
    failure.request = result.request;
    failure.reply = result.reply;
    return failure;
}

SensorClient::SensorClient(RequestEngine &engine, quint8 unit) : engine_(engine), unit_(unit) {}

Answer<QByteArray> SensorClient::transact(const QByteArray &request, bool expectsReply)
{
    const QByteArray addressed =
        reply::isNativeFrame(request) ? request : modbus::toUnit(request, unit_);
    const RequestEngine::Result result = engine_.run(addressed, expectsReply);
    if (!result.ok())
        return failed<QByteArray>(replyFailure(result));
    return {result.reply, {}};
}

Answer<RxBuffer> SensorClient::read(const QByteArray &request)
{
    const Answer<QByteArray> answer = transact(request);
    if (!answer)
        return failed<RxBuffer>(answer.failure);
    return {RxBuffer::fromRead(*answer), {}};
}

Answer<decode::Measurement> SensorClient::measurement(quint8 object)
{
    const Answer<RxBuffer> answer = read(requests::query(Register::Measurement, object));
    if (!answer)
        return failed<decode::Measurement>(answer.failure);
    return {decode::measurement(*answer), {}};
}

Answer<Environment> SensorClient::environment()
{
    const Answer<RxBuffer> answer = read(requests::query(Register::TempHumi));
    if (!answer)
        return failed<Environment>(answer.failure);
    const decode::BytePair pair = decode::tempHumi(*answer);
    return {Environment{pair.high, pair.low}, {}};
}

Answer<int> SensorClient::probe()
{
    const settings::SettingKey *address = settings::find(QStringLiteral("address"));
    return get(*address);
}

Answer<int> SensorClient::get(const settings::SettingKey &key)
{
    if (key.reg == Register::BaudRate) {
        const Answer<int> answer = probe();
        return answer ? Answer<int>{engine_.baudRate(), {}} : answer;
    }
    if (key.reg == Register::Protocol) {
        const Answer<int> modbusAnswer = probe();
        if (modbusAnswer)
            return {int(ProtocolCode::Modbus), {}};
        if (deviceId())
            return {int(ProtocolCode::Native), {}};
        return modbusAnswer;
    }
    if (!key.isReadable())
        return failed<int>(invalidValue(tr("an action has nothing to read")));
    const QByteArray request = settings::readRequest(key);
    const Answer<RxBuffer> answer = read(request);
    if (!answer)
        return failed<int>(answer.failure);
    const std::optional<int> value = key.decode(*answer);
    if (!value) {
        ClientFailure failure;
        failure.kind = ClientFailure::Kind::Reply;
        failure.outcome = reply::Outcome::BadFrame;
        failure.text = tr("the sensor reported a value outside %1").arg(key.rangeText());
        failure.request = request;
        return failed<int>(failure);
    }
    return {value, {}};
}

Answer<int> SensorClient::set(const settings::SettingKey &key, int value)
{
    if (!key.isWritable())
        return failed<int>(invalidValue(tr("a reading cannot be set")));
    if (!isAllowed(key, value))
        return failed<int>(invalidValue(
            tr("%1 is outside %2").arg(settings::formatValue(key, value), key.rangeText())));
    const bool spansRegisters = registerInfo(key.reg).readCount > 1;
    RxBuffer current;
    if (key.sharesRegister() || spansRegisters) {
        const Answer<RxBuffer> answer = read(settings::readRequest(key));
        if (!answer)
            return failed<int>(answer.failure);
        current = *answer;
    }
    const Answer<QByteArray> written = transact(settings::writeRequest(key, value, current));
    if (!written)
        return failed<int>(written.failure);

    switch (key.reg) {
    case Register::DeviceAddress:
        unit_ = quint8(value);
        break;
    case Register::BaudRate:
        engine_.setBaudRate(value);
        break;
    default:
        break;
    }
    if (key.access == settings::Access::Action)
        return {value, {}};

    const Answer<int> readBack = get(key);
    if (!readBack)
        return readBack;
    if (*readBack != value) {
        ClientFailure failure;
        failure.kind = ClientFailure::Kind::Mismatch;
        failure.text =
            tr("wrote %1, the sensor reports %2")
                .arg(settings::formatValue(key, value), settings::formatValue(key, *readBack));
        return failed<int>(failure);
    }
    return readBack;
}

Answer<QString> SensorClient::nativeText(const QByteArray &request)
{
    const Answer<RxBuffer> answer = read(request);
    if (!answer)
        return failed<QString>(answer.failure);
    return {decode::nativeFrame(*answer, 0).text, {}};
}

Answer<QString> SensorClient::deviceId()
{
    return nativeText(native::deviceInfoQuery());
}

Answer<QString> SensorClient::firmware()
{
    return nativeText(native::firmwareQuery());
}
