#include "settingkeys.h"

#include "commands/requests.h"
#include "replies/decoders.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVariantList>
#include <iterator>

namespace settings {

namespace {

constexpr int allUnits = (1 << detectionUnits) - 1;

QString tr(const char *text)
{
    return QCoreApplication::translate("settings", text);
}

int unitMaskOf(const std::array<bool, 4> &units)
{
    int mask = 0;
    for (std::size_t i = 0; i < units.size(); ++i)
        mask |= units[i] ? 1 << i : 0;
    return mask;
}

std::optional<int> address(const RxBuffer &b)
{
    return decode::deviceAddressText(b).toInt(nullptr, 16);
}
std::optional<int> workMode(const RxBuffer &b)
{
    const auto mode = decode::workMode(b);
    return mode ? std::optional<int>(mode->mode) : std::nullopt;
}
std::optional<int> workUnits(const RxBuffer &b)
{
    const auto mode = decode::workMode(b);
    return mode ? std::optional<int>(unitMaskOf(mode->units)) : std::nullopt;
}
std::optional<int> cleanSeconds(const RxBuffer &b)
{
    return decode::autoCleanDust(b).high;
}
std::optional<int> cleanHours(const RxBuffer &b)
{
    return decode::autoCleanDust(b).low;
}
std::optional<int> heaterMode(const RxBuffer &b)
{
    const auto automatic = decode::heatModeAutomatic(b);
    return automatic ? std::optional<int>(*automatic ? 1 : 0) : std::nullopt;
}
std::optional<int> heaterOn(const RxBuffer &b)
{
    return decode::heaterOn(b) ? 1 : 0;
}
std::optional<int> heatTempHigh(const RxBuffer &b)
{
    return decode::heatTemp(b).high;
}
std::optional<int> heatTempLow(const RxBuffer &b)
{
    return decode::heatTemp(b).low;
}
std::optional<int> heatHumiHigh(const RxBuffer &b)
{
    return decode::heatHumi(b).high;
}
std::optional<int> heatHumiLow(const RxBuffer &b)
{
    return decode::heatHumi(b).low;
}
std::optional<int> unitsOn(const RxBuffer &b)
{
    return unitMaskOf(decode::globalOn(b));
}
std::optional<int> selfCheckPassed(const RxBuffer &b)
{
    return allUnits & ~unitMaskOf(decode::selfCheckFailed(b));
}
std::optional<int> temperature(const RxBuffer &b)
{
    return decode::tempHumi(b).high;
}
std::optional<int> humidity(const RxBuffer &b)
{
    return decode::tempHumi(b).low;
}
std::optional<int> zeroOffset(const RxBuffer &b)
{
    return decode::calibration(b).zeroOffset;
}
std::optional<int> factor(const RxBuffer &b)
{
    return decode::calibration(b).factor;
}
template <int index> std::optional<int> weight(const RxBuffer &b)
{
    return decode::weights(b)[index];
}
constexpr std::optional<int> (*weightDecoders[])(const RxBuffer &) = {
    weight<0>, weight<1>, weight<2>, weight<3>, weight<4>, weight<5>, weight<6>, weight<7>};

constexpr const char *rangeNames[] = {"pm25", "pm10", "pm100"};

std::vector<SettingKey> buildKeys()
{
    const QString none;
    const QString seconds = QStringLiteral("s");
    const QString celsius = QStringLiteral("°C");
    const QString percent = QStringLiteral("%RH");
    using A = Access;
    using K = ValueKind;
    // clang-format off
    std::vector<SettingKey> rows = {
        {QStringLiteral("address"), Register::DeviceAddress, 0, 1, 1, false, 1, 247, none,
         K::Integer, {}, A::ReadWrite, address,
         tr("Modbus unit address; the sensor answers at the new one at once")},
        {QStringLiteral("work-mode"), Register::WorkMode, 0, 0, 1, false, 1, 3, none, K::Choice,
         {{1, "auto-all"}, {2, "auto-single"}, {3, "manual"}}, A::ReadWrite, workMode,
         tr("Which detection units measure: all automatically, one automatically, or those of "
            "work-units")},
        {QStringLiteral("work-units"), Register::WorkMode, 0, 1, 1, false, 0, allUnits, none,
         K::UnitSet, {}, A::ReadWrite, workUnits, tr("Detection units used in manual work mode")},
        {QStringLiteral("clean.duration-seconds"), Register::AutoCleanDust, 0, 0, 1, false, 0,
         255, seconds, K::Integer, {}, A::ReadWrite, cleanSeconds,
         tr("Length of each automatic cleaning")},
        {QStringLiteral("clean.interval-hours"), Register::AutoCleanDust, 0, 1, 1, false, 0, 255,
         QStringLiteral("h"), K::Integer, {}, A::ReadWrite, cleanHours,
         tr("Time between automatic cleanings")},
        {QStringLiteral("clean.now"), Register::ManualCleanDust, 0, 1, 1, false, 0, 255, seconds,
         K::Integer, {}, A::Action, nullptr, tr("Clean at once, for this many seconds")},
        {QStringLiteral("heater.mode"), Register::HeatMode, 0, 0, 1, false, 0, 1, none, K::Choice,
         {{1, "auto"}, {0, "manual"}}, A::ReadWrite, heaterMode,
         tr("Automatic heating by the thresholds, or manual by heater.on")},
        {QStringLiteral("heater.on"), Register::HeatMode, 0, 1, 1, false, 0, 1, none, K::Choice,
         {{1, "on"}, {0, "off"}}, A::ReadWrite, heaterOn, tr("Heater switch in manual mode")},
        {QStringLiteral("heater.temp-high"), Register::HeatTemp, 0, 0, 1, true, -128, 127, celsius,
         K::Integer, {}, A::ReadWrite, heatTempHigh, tr("Upper temperature threshold of automatic heating")},
        {QStringLiteral("heater.temp-low"), Register::HeatTemp, 0, 1, 1, true, -128, 127, celsius,
         K::Integer, {}, A::ReadWrite, heatTempLow, tr("Lower temperature threshold of automatic heating")},
        {QStringLiteral("heater.humidity-high"), Register::HeatHumi, 0, 0, 1, false, 0, 100,
         percent, K::Integer, {}, A::ReadWrite, heatHumiHigh,
         tr("Upper humidity threshold of automatic heating")},
        {QStringLiteral("heater.humidity-low"), Register::HeatHumi, 0, 1, 1, false, 0, 100, percent,
         K::Integer, {}, A::ReadWrite, heatHumiLow, tr("Lower humidity threshold of automatic heating")},
        {QStringLiteral("units-on"), Register::GlobalOnOff, 0, 1, 1, false, 0, allUnits, none,
         K::UnitSet, {}, A::ReadWrite, unitsOn,
         tr("Detection units switched on; the others report 0")},
        {QStringLiteral("self-check"), Register::SelfCheck, 0, 1, 1, false, 0, allUnits, none,
         K::UnitSet, {}, A::Read, selfCheckPassed, tr("Detection units that passed the self-check")},
        {QStringLiteral("temperature"), Register::TempHumi, 0, 0, 1, true, -128, 127, celsius,
         K::Integer, {}, A::Read, temperature, tr("Temperature inside the sensor")},
        {QStringLiteral("humidity"), Register::TempHumi, 0, 1, 1, false, 0, 255, percent,
         K::Integer, {}, A::Read, humidity, tr("Relative humidity inside the sensor")},
        {QStringLiteral("rate"), Register::BaudRate, 0, 1, 1, false, 4800, 19200,
         QStringLiteral("baud"), K::Choice, {{4800, "4800"}, {9600, "9600"}, {19200, "19200"}},
         A::Line, nullptr, tr("Line rate; the sensor changes to it after its answer")},
        {QStringLiteral("protocol"), Register::Protocol, 0, 1, 1, false, 0, 3, none, K::Choice,
         {{int(ProtocolCode::Modbus), "modbus"}, {int(ProtocolCode::Native), "native"}}, A::Line,
         nullptr, tr("Protocol the sensor speaks; native leaves this program only info")},
        {QStringLiteral("power"), Register::Sleep, 0, 1, 1, false, 0, 1, none, K::Choice,
         {{0, "sleep"}, {1, "wake"}}, A::Action, nullptr,
         tr("Put the sensor to sleep (all readings 0) or wake it")},
        {QStringLiteral("factory-reset"), Register::FactoryReset, 0, 1, 1, false, 1, 1, none,
         K::Integer, {}, A::Action, nullptr,
         tr("Restore the factory settings, the address and rate included")},
    };
    // clang-format on
    for (int unit = 1; unit <= detectionUnits; ++unit)
        rows.push_back({QStringLiteral("weights.self-check.%1").arg(unit),
                        Register::Weights,
                        0,
                        unit - 1,
                        1,
                        false,
                        0,
                        255,
                        none,
                        K::Integer,
                        {},
                        A::Read,
                        weightDecoders[unit - 1],
                        tr("Self-check weight of detection unit %1").arg(unit)});
    for (int unit = 1; unit <= detectionUnits; ++unit)
        rows.push_back({QStringLiteral("weights.suspect.%1").arg(unit),
                        Register::Weights,
                        0,
                        detectionUnits + unit - 1,
                        1,
                        false,
                        0,
                        255,
                        none,
                        K::Integer,
                        {},
                        A::Read,
                        weightDecoders[detectionUnits + unit - 1],
                        tr("Suspect weight of detection unit %1").arg(unit)});
    for (quint8 object = 0; object <= detectionUnits; ++object) {
        const QString objectName = object == 0 ? QStringLiteral("avg") : QString::number(object);
        const QString objectText =
            object == 0 ? tr("the average") : tr("detection unit %1").arg(object);
        for (std::size_t range = 0; range < std::size(calibrationRanges); ++range) {
            const QString prefix = QStringLiteral("calibration.%1.%2.")
                                       .arg(objectName, QLatin1String(rangeNames[range]));
            const Register reg = calibrationRanges[range];
            rows.push_back(
                {prefix + QStringLiteral("zero-offset"),
                 reg,
                 object,
                 0,
                 2,
                 true,
                 -255,
                 255,
                 QStringLiteral("µg/m³"),
                 K::Integer,
                 {},
                 A::ReadWrite,
                 zeroOffset,
                 tr("Zero offset of %1 for %2").arg(QLatin1String(rangeNames[range]), objectText)});
            rows.push_back({prefix + QStringLiteral("factor"),
                            reg,
                            object,
                            3,
                            1,
                            false,
                            0,
                            255,
                            QStringLiteral("%"),
                            K::Integer,
                            {},
                            A::ReadWrite,
                            factor,
                            tr("Calibration factor of %1 for %2")
                                .arg(QLatin1String(rangeNames[range]), objectText)});
        }
    }
    return rows;
}

int calibrationRangeIndex(Register reg)
{
    for (std::size_t i = 0; i < std::size(calibrationRanges); ++i)
        if (calibrationRanges[i] == reg)
            return int(i);
    return 0;
}

QString unitSetText(int mask)
{
    QStringList units;
    for (int unit = 1; unit <= detectionUnits; ++unit)
        if (mask & (1 << (unit - 1)))
            units << QString::number(unit);
    return units.isEmpty() ? QStringLiteral("none") : units.join(QLatin1Char(','));
}

} // namespace

const std::vector<SettingKey> &keys()
{
    static const std::vector<SettingKey> rows = buildKeys();
    return rows;
}

const SettingKey *find(const QString &key)
{
    for (const SettingKey &row : keys())
        if (row.key == key)
            return &row;
    return nullptr;
}

bool SettingKey::sharesRegister() const
{
    for (const SettingKey &other : keys())
        if (&other != this && other.address() == address() && other.isWritable())
            return true;
    return false;
}

QString SettingKey::rangeText() const
{
    switch (kind) {
    case ValueKind::Choice: {
        QStringList names;
        for (const Choice &choice : choices)
            names << QLatin1String(choice.name);
        return names.join(QStringLiteral(", "));
    }
    case ValueKind::UnitSet:
        return tr("units 1 to 4, comma-separated, or none");
    case ValueKind::Integer:
        break;
    }
    const QString range =
        minimum == maximum ? QString::number(minimum) : tr("%1 to %2").arg(minimum).arg(maximum);
    return unit.isEmpty() ? range : range + QLatin1Char(' ') + unit;
}

std::optional<int> parseValue(const SettingKey &key, const QString &text, QString *error)
{
    const auto fail = [&]() -> std::optional<int> {
        if (error)
            *error = tr("%1: '%2' is not %3").arg(key.key, text, key.rangeText());
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    switch (key.kind) {
    case ValueKind::Choice:
        for (const Choice &choice : key.choices)
            if (trimmed.compare(QLatin1String(choice.name), Qt::CaseInsensitive) == 0)
                return choice.value;
        return fail();
    case ValueKind::UnitSet: {
        if (trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
            return 0;
        int mask = 0;
        for (const QString &part : trimmed.split(QLatin1Char(','))) {
            bool ok = false;
            const int unit = part.toInt(&ok, 10);
            if (!ok || unit < 1 || unit > detectionUnits || (mask & (1 << (unit - 1))))
                return fail();
            mask |= 1 << (unit - 1);
        }
        return mask;
    }
    case ValueKind::Integer:
        break;
    }
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!ok || value < key.minimum || value > key.maximum) {
        if (ok && error)
            *error = tr("%1: %2 is outside %3").arg(key.key, trimmed, key.rangeText());
        else
            fail();
        return std::nullopt;
    }
    return value;
}

QString formatValue(const SettingKey &key, int value)
{
    switch (key.kind) {
    case ValueKind::Choice:
        for (const Choice &choice : key.choices)
            if (choice.value == value)
                return QLatin1String(choice.name);
        break;
    case ValueKind::UnitSet:
        return unitSetText(value);
    case ValueKind::Integer:
        break;
    }
    return QString::number(value);
}

QVariant jsonValue(const SettingKey &key, int value)
{
    switch (key.kind) {
    case ValueKind::Choice:
        return formatValue(key, value);
    case ValueKind::UnitSet: {
        QVariantList units;
        for (int unit = 1; unit <= detectionUnits; ++unit)
            if (value & (1 << (unit - 1)))
                units << unit;
        return units;
    }
    case ValueKind::Integer:
        break;
    }
    return value;
}

QByteArray readRequest(const SettingKey &key)
{
    return requests::query(key.reg, key.object);
}

QByteArray writeRequest(const SettingKey &key, int value, const RxBuffer &current)
{
    switch (key.reg) {
    case Register::DeviceAddress:
        return requests::deviceAddressWrite(QString::number(value, 16));
    case Register::BaudRate:
        for (const BaudRateCode &row : baudRateCodes)
            if (row.baud == value)
                return requests::write(key.reg, 0, row.code);
        return {};
    case Register::CalibratePm25:
    case Register::CalibratePm10:
    case Register::CalibratePm100: {
        decode::Calibration calibration = decode::calibration(current);
        (key.byteOffset == 0 ? calibration.zeroOffset : calibration.factor) = value;
        return requests::calibrationWrite(key.object, calibrationRangeIndex(key.reg),
                                          QString::number(calibration.zeroOffset),
                                          QString::number(calibration.factor));
    }
    default:
        break;
    }
    quint8 bytes[2] = {0, 0};
    if (key.sharesRegister()) {
        bytes[0] = current[3];
        bytes[1] = current[4];
    }
    bytes[key.byteOffset] = quint8(value & 0xFF);
    return requests::write(key.reg, bytes[0], bytes[1]);
}

} // namespace settings
