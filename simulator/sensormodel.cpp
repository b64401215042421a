#include "sensormodel.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

#include <QtGlobal>

#include <cmath>

namespace {

constexpr int measurementRegisters = 4; // PM2.5, PM10, PM100, unused
constexpr int calibrationRegisters = 2 * int(std::size(calibrationRanges));
constexpr int weightRegisters = weightBytes / 2;
constexpr quint8 passThroughLow = 0x11;
constexpr int passThroughRegisters = 19;
constexpr int passThroughBytes = 2 * passThroughRegisters;
constexpr int maxReadCount = 125;
constexpr int maxWriteCount = 123;
constexpr quint8 maxUnitAddress = 247;
constexpr quint8 allUnitsMask = (1 << detectionUnits) - 1;
constexpr quint8 exceptionFlag = 0x80;
constexpr int modbusMinimumSize = 4; // address, function, CRC
constexpr int registerSpace = 0x10000;
constexpr int crcSize = 2;
constexpr int deviceIdOffset = 8; // frame offsets of the native replies
constexpr int firmwareOffset = 9;
constexpr int nativeDataOffset = 2;
constexpr int randomWalkStep = 5;
constexpr int measurementCeiling = 9999;
constexpr double pi = 3.14159265358979323846;
constexpr int tenths = 10;

constexpr quint8 lowByte(Register reg)
{
    return quint8(quint16(reg) & 0xFF);
}

quint16 word(quint8 high, quint8 low)
{
    return quint16((high << 8) | low);
}

quint8 byteAt(const QByteArray &bytes, int offset)
{
    return offset < bytes.size() ? quint8(bytes.at(offset)) : 0;
}

quint16 wordAt(const QByteArray &bytes, int offset)
{
    return word(byteAt(bytes, offset), byteAt(bytes, offset + 1));
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

QString hex4(int value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

bool isMeasurementRegister(int address)
{
    const int object = address >> 8;
    const int index = (address & 0xFF) - lowByte(Register::Measurement);
    return object < measurementObjects && index >= 0 && index < measurementRegisters;
}

} // namespace

qint32 baudForCode(quint8 code)
{
    for (const BaudRateCode &row : baudRateCodes)
        if (row.code == code)
            return row.baud;
    return 0;
}

quint8 codeForBaud(qint32 baud)
{
    for (const BaudRateCode &row : baudRateCodes)
        if (row.baud == baud)
            return row.code;
    return 0;
}

SensorModel::SensorModel(const SensorSettings &settings, const SensorReadings &readings)
    : settings_(settings), readings_(readings)
{
}

void SensorModel::enableRandomWalk(quint32 seed)
{
    randomWalk_.emplace(seed);
}

Exchange SensorModel::handle(const Request &request)
{
    lineRateAfterReply_ = 0;
    Exchange exchange = request.kind == FrameKind::Native ? handleNative(request.bytes)
                                                          : handleModbus(request.bytes);
    exchange.lineRateAfterReply = lineRateAfterReply_;
    return exchange;
}

Measurement SensorModel::measurement(quint8 object) const
{
    const auto isOn = [this](int unit) { return (settings_.unitsOn >> (unit - 1)) & 1; };
    if (!settings_.awake || object > detectionUnits)
        return {};
    if (object > 0)
        return isOn(object) ? unitMeasurement(object) : Measurement{};
    int pm25 = 0, pm10 = 0, pm100 = 0, unitsOn = 0;
    for (int unit = 1; unit <= detectionUnits; ++unit) {
        if (!isOn(unit))
            continue;
        const Measurement m = unitMeasurement(unit);
        pm25 += m.pm25Tenths;
        pm10 += m.pm10Tenths;
        pm100 += m.pm100;
        ++unitsOn;
    }
    if (unitsOn == 0)
        return {};
    return {quint16(pm25 / unitsOn), quint16(pm10 / unitsOn), quint16(pm100 / unitsOn)};
}

void SensorModel::setUnitNoise(const UnitNoise &noise)
{
    noise_ = noise;
    noiseRandom_.seed(noise.seed);
    noiseNow_ = {};
}

Measurement SensorModel::unitMeasurement(int unit) const
{
    const Measurement &m = readings_.units[std::size_t(unit - 1)];
    const std::array<int, 3> &delta = noiseNow_[std::size_t(unit - 1)];
    const auto add = [](quint16 value, int offset) {
        return quint16(qBound(0, int(value) + offset, 0xFFFF));
    };
    return {add(m.pm25Tenths, delta[0]), add(m.pm10Tenths, delta[1]), add(m.pm100, delta[2])};
}

double SensorModel::gaussian()
{
    // Box-Muller: two uniform draws give one standard normal one.
    const double u1 = 1.0 - noiseRandom_.generateDouble();
    const double u2 = noiseRandom_.generateDouble();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * pi * u2);
}

void SensorModel::drawNoise()
{
    for (int unit = 0; unit < detectionUnits; ++unit) {
        const double sd = noise_.standardDeviation[std::size_t(unit)];
        if (sd <= 0)
            continue;
        const auto offset = [this, sd](int resolution) {
            return int(std::lround(gaussian() * sd * resolution));
        };
        noiseNow_[std::size_t(unit)] = {offset(tenths), offset(tenths), offset(1)};
    }
}

void SensorModel::stepRandomWalk()
{
    const auto step = [this](quint16 &value) {
        const int delta = randomWalk_->bounded(-randomWalkStep, randomWalkStep + 1);
        value = quint16(qBound(0, value + delta, measurementCeiling));
    };
    for (Measurement &m : readings_.units) {
        step(m.pm25Tenths);
        step(m.pm10Tenths);
        step(m.pm100);
    }
}

Exchange SensorModel::handleModbus(const QByteArray &frame)
{
    if (frame.size() < modbusMinimumSize || modbus::withCrc(frame.chopped(crcSize)) != frame)
        return {{}, 0, QStringLiteral("bad CRC, not answered")};
    const quint8 unit = byteAt(frame, 0);
    if (unit != modbus::unitAddress && unit != settings_.address)
        return {{}, 0, QStringLiteral("for unit %1, not answered").arg(unit)};
    const auto function = modbus::Function(byteAt(frame, 1));
    const bool protocolWrite = function == modbus::Function::WriteSingleRegister &&
                               wordAt(frame, 2) == quint16(Register::Protocol);
    if (settings_.protocol == ProtocolCode::Native && !protocolWrite)
        return {{}, 0, QStringLiteral("native protocol selected, Modbus request ignored")};
    switch (function) {
    case modbus::Function::ReadHoldingRegisters:
        return readRegisters(frame);
    case modbus::Function::WriteSingleRegister:
        return writeSingle(frame);
    case modbus::Function::WriteMultipleRegisters:
        return writeMultiple(frame);
    }
    return exception(byteAt(frame, 1), ExceptionCode::IllegalFunction,
                     QStringLiteral("function %1 not supported").arg(byteAt(frame, 1)));
}

Exchange SensorModel::exception(quint8 function, ExceptionCode code, const QString &note) const
{
    QByteArray reply;
    reply.append(char(settings_.address));
    reply.append(char(function | exceptionFlag));
    reply.append(char(code));
    return {modbus::withCrc(reply), 0, QStringLiteral("exception %1: %2").arg(int(code)).arg(note)};
}

Exchange SensorModel::readRegisters(const QByteArray &frame)
{
    const quint8 function = byteAt(frame, 1);
    const int start = wordAt(frame, 2);
    const int count = wordAt(frame, 4);
    if (count < 1 || count > maxReadCount)
        return exception(function, ExceptionCode::IllegalDataValue,
                         QStringLiteral("read of %1 registers").arg(count));
    if (start + count > registerSpace)
        return exception(
            function, ExceptionCode::IllegalDataAddress,
            QStringLiteral("read of %1 x%2 runs past 0xffff").arg(hex4(start)).arg(count));
    for (int address = start; address < start + count; ++address) {
        if (isMeasurementRegister(address)) {
            if (randomWalk_)
                stepRandomWalk();
            drawNoise();
            break;
        }
    }
    QByteArray reply;
    reply.append(char(settings_.address));
    reply.append(char(function));
    reply.append(char(2 * count));
    for (int address = start; address < start + count; ++address) {
        const std::optional<quint16> value = readRegister(quint16(address));
        if (!value)
            return exception(function, ExceptionCode::IllegalDataAddress,
                             QStringLiteral("register %1 cannot be read").arg(hex4(address)));
        appendWord(reply, *value);
    }
    return {modbus::withCrc(reply), 0, QStringLiteral("read %1 x%2").arg(hex4(start)).arg(count)};
}

Exchange SensorModel::writeSingle(const QByteArray &frame)
{
    const quint16 address = wordAt(frame, 2);
    const quint16 value = wordAt(frame, 4);
    if (const std::optional<ExceptionCode> error = writeRegister(address, value))
        return exception(byteAt(frame, 1), *error,
                         QStringLiteral("write of %1 to %2").arg(hex4(value)).arg(hex4(address)));
    return {frame, 0, QStringLiteral("wrote %1 to %2").arg(hex4(value)).arg(hex4(address))};
}

Exchange SensorModel::writeMultiple(const QByteArray &frame)
{
    const quint8 function = byteAt(frame, 1);
    const quint16 start = wordAt(frame, 2);
    const int count = wordAt(frame, 4);
    const int byteCount = byteAt(frame, 6);
    const QByteArray data = frame.mid(7, byteCount);
    const int target = start >> 8;

    QByteArray reply;
    reply.append(char(settings_.address));
    reply.append(char(function));
    appendWord(reply, start);
    appendWord(reply, quint16(count));

    if ((start & 0xFF) == passThroughLow && target >= 1 && target <= detectionUnits) {
        passThrough_[target - 1] = data.left(passThroughBytes);
        return {modbus::withCrc(reply), 0,
                QStringLiteral("pass-through %1 stored %2 bytes").arg(target).arg(byteCount)};
    }
    if (count < 1 || count > maxWriteCount || byteCount != 2 * count)
        return exception(
            function, ExceptionCode::IllegalDataValue,
            QStringLiteral("write of %1 registers in %2 bytes").arg(count).arg(byteCount));
    if (start + count > registerSpace)
        return exception(
            function, ExceptionCode::IllegalDataAddress,
            QStringLiteral("write of %1 x%2 runs past 0xffff").arg(hex4(start)).arg(count));

    const SensorSettings before = settings_;
    const qint32 rateBefore = lineRateAfterReply_;
    for (int i = 0; i < count; ++i) {
        const quint16 address = quint16(start + i);
        if (const std::optional<ExceptionCode> error =
                writeRegister(address, wordAt(data, 2 * i))) {
            settings_ = before;
            lineRateAfterReply_ = rateBefore;
            return exception(function, *error, QStringLiteral("write to %1").arg(hex4(address)));
        }
    }
    return {modbus::withCrc(reply), 0, QStringLiteral("wrote %1 x%2").arg(hex4(start)).arg(count)};
}

std::optional<quint16> SensorModel::readRegister(quint16 address) const
{
    const int object = address >> 8;
    const int low = address & 0xFF;
    if (object < measurementObjects) {
        const int measurementIndex = low - lowByte(Register::Measurement);
        if (measurementIndex >= 0 && measurementIndex < measurementRegisters) {
            const Measurement m = measurement(quint8(object));
            const quint16 values[measurementRegisters] = {m.pm25Tenths, m.pm10Tenths, m.pm100, 0};
            return values[measurementIndex];
        }
        const int calibrationIndex = low - lowByte(Register::CalibratePm25);
        if (calibrationIndex >= 0 && calibrationIndex < calibrationRegisters) {
            const Calibration &c = settings_.calibration[object][calibrationIndex / 2];
            return calibrationIndex % 2 == 0 ? word(c.sign, c.magnitude) : c.factor;
        }
        const int passThroughIndex = low - passThroughLow;
        if (object > 0 && passThroughIndex >= 0 && passThroughIndex < passThroughRegisters) {
            const QByteArray &stored = passThrough_[object - 1];
            return wordAt(stored, 2 * passThroughIndex);
        }
    }
    if (object != 0)
        return std::nullopt;
    const int weightIndex = low - lowByte(Register::Weights);
    if (weightIndex >= 0 && weightIndex < weightRegisters)
        return word(readings_.weights[2 * weightIndex], readings_.weights[2 * weightIndex + 1]);

    switch (Register(address)) {
    case Register::DeviceAddress:
        return settings_.address;
    case Register::Sleep:
        return settings_.awake ? 1 : 0;
    case Register::FactoryReset:
        return 0;
    case Register::WorkMode:
        return word(settings_.workMode, settings_.workUnits);
    case Register::SelfCheck:
        return readings_.selfCheck;
    case Register::TempHumi:
        return word(quint8(readings_.temperature), readings_.humidity);
    case Register::ManualCleanDust:
        return settings_.manualCleanTime;
    case Register::AutoCleanDust:
        return word(settings_.autoCleanSeconds, settings_.autoCleanHours);
    case Register::HeatMode:
        return word(settings_.heatMode, settings_.heaterOn ? 1 : 0);
    case Register::HeatTemp:
        return word(quint8(settings_.heatTempHigh), quint8(settings_.heatTempLow));
    case Register::HeatHumi:
        return word(settings_.heatHumiHigh, settings_.heatHumiLow);
    case Register::GlobalOnOff:
        return settings_.unitsOn;
    case Register::Protocol:
        return quint8(settings_.protocol);
    case Register::BaudRate:
        return codeForBaud(settings_.lineRate);
    default:
        return std::nullopt;
    }
}

std::optional<ExceptionCode> SensorModel::writeRegister(quint16 address, quint16 value)
{
    const int object = address >> 8;
    const int low = address & 0xFF;
    const quint8 high = quint8(value >> 8);
    const quint8 lowValue = quint8(value & 0xFF);
    constexpr std::optional<ExceptionCode> done;
    constexpr std::optional<ExceptionCode> badValue = ExceptionCode::IllegalDataValue;
    constexpr std::optional<ExceptionCode> badAddress = ExceptionCode::IllegalDataAddress;

    const int calibrationIndex = low - lowByte(Register::CalibratePm25);
    if (object < measurementObjects && calibrationIndex >= 0 &&
        calibrationIndex < calibrationRegisters) {
        Calibration &c = settings_.calibration[object][calibrationIndex / 2];
        if (calibrationIndex % 2 == 0) {
            if (high > 1)
                return badValue;
            c.sign = high;
            c.magnitude = lowValue;
        } else {
            if (high != 0)
                return badValue;
            c.factor = lowValue;
        }
        return done;
    }
    if (object != 0)
        return badAddress;

    switch (Register(address)) {
    case Register::DeviceAddress:
        if (value < 1 || value > maxUnitAddress)
            return badValue;
        settings_.address = lowValue;
        return done;
    case Register::Sleep:
        if (value > 1)
            return badValue;
        settings_.awake = value == 1;
        return done;
    case Register::FactoryReset: {
        if (value != 1)
            return badValue;
        const qint32 rate = settings_.lineRate;
        settings_ = SensorSettings{};
        if (settings_.lineRate != rate)
            lineRateAfterReply_ = settings_.lineRate;
        settings_.lineRate = rate;
        return done;
    }
    case Register::WorkMode:
        if (high < 1 || high > 3 || (lowValue & ~allUnitsMask))
            return badValue;
        settings_.workMode = high;
        settings_.workUnits = lowValue;
        return done;
    case Register::ManualCleanDust:
        if (high != 0)
            return badValue;
        settings_.manualCleanTime = lowValue;
        return done;
    case Register::AutoCleanDust:
        settings_.autoCleanSeconds = high;
        settings_.autoCleanHours = lowValue;
        return done;
    case Register::HeatMode:
        if (high > 1 || lowValue > 1)
            return badValue;
        settings_.heatMode = high;
        settings_.heaterOn = lowValue == 1;
        return done;
    case Register::HeatTemp:
        settings_.heatTempHigh = qint8(high);
        settings_.heatTempLow = qint8(lowValue);
        return done;
    case Register::HeatHumi:
        settings_.heatHumiHigh = high;
        settings_.heatHumiLow = lowValue;
        return done;
    case Register::GlobalOnOff:
        if (value > allUnitsMask)
            return badValue;
        settings_.unitsOn = lowValue;
        return done;
    case Register::Protocol:
        if (value != quint8(ProtocolCode::Modbus) && value != quint8(ProtocolCode::Native))
            return badValue;
        settings_.protocol = ProtocolCode(lowValue);
        return done;
    case Register::BaudRate: {
        const qint32 rate = high == 0 ? baudForCode(lowValue) : 0;
        if (rate == 0)
            return badValue;
        lineRateAfterReply_ = rate;
        return done;
    }
    default:
        return badAddress;
    }
}

Exchange SensorModel::handleNative(const QByteArray &frame)
{
    if (settings_.protocol != ProtocolCode::Native)
        return {{}, 0, QStringLiteral("Modbus selected, native frame ignored")};
    native::Data data{};
    const auto toData = [](int frameOffset) { return std::size_t(frameOffset - nativeDataOffset); };
    const quint8 command = byteAt(frame, 1);
    switch (native::Command(command)) {
    case native::Command::DeviceInfo:
        for (int i = 0; i < deviceIdBytes; ++i)
            data[toData(deviceIdOffset + i)] = readings_.deviceId[std::size_t(i)];
        return {native::frame(native::Command::DeviceInfo, data), 0,
                QStringLiteral("device information")};
    case native::Command::Firmware:
        for (int i = 0; i < firmwareBytes; ++i)
            data[toData(firmwareOffset + i)] = readings_.firmware[std::size_t(i)];
        return {native::frame(native::Command::Firmware, data), 0, QStringLiteral("firmware")};
    case native::Command::SetDeviceNumber:
        for (int i = 0; i < deviceIdBytes; ++i)
            readings_.deviceId[std::size_t(i)] = byteAt(frame, deviceIdOffset + i);
        return {{}, 0, QStringLiteral("device number set, not answered")};
    case native::Command::Sleep:
        settings_.awake = false;
        return {{}, 0, QStringLiteral("asleep, not answered")};
    }
    return {
        {}, 0, QStringLiteral("native command 0x%1 ignored").arg(command, 2, 16, QLatin1Char('0'))};
}
