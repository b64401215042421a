#include "typedinput.h"

#include <QCoreApplication>
#include <QStringList>

namespace typedinput {

const FieldRange fieldRanges[10] = {
    // Register 0x00A9: the low byte is the time, the high byte is sent as 0. Unsigned byte.
    {Field::ManualCleanTime, 10, 0, 255, QT_TRANSLATE_NOOP("MainWindow", "manual cleaning time")},
    // Register 0x00AA: high byte seconds, low byte hours (the form's "(秒)" and "(小时)").
    // Unsigned bytes.
    {Field::AutoCleanSeconds, 10, 0, 255,
     QT_TRANSLATE_NOOP("MainWindow", "automatic cleaning time (s)")},
    {Field::AutoCleanHours, 10, 0, 255,
     QT_TRANSLATE_NOOP("MainWindow", "automatic cleaning interval (h)")},
    // Register 0x00AC: two signed bytes (read back as signed), degrees Celsius; the form labels
    // the high threshold "(>0)" and the low one "(<0)".
    {Field::HeatTempHigh, 10, 1, 127,
     QT_TRANSLATE_NOOP("MainWindow", "heating temperature high threshold")},
    {Field::HeatTempLow, 10, -128, -1,
     QT_TRANSLATE_NOOP("MainWindow", "heating temperature low threshold")},
    // Register 0x00AD: two unsigned bytes (read back as unsigned), relative humidity in "%".
    {Field::HeatHumiHigh, 10, 0, 100,
     QT_TRANSLATE_NOOP("MainWindow", "heating humidity high threshold")},
    {Field::HeatHumiLow, 10, 0, 100,
     QT_TRANSLATE_NOOP("MainWindow", "heating humidity low threshold")},
    // Register 0x0000, typed in hexadecimal after the form's "0x": the sensor's Modbus unit
    // address, 1 to 247 (0 is the broadcast address, 248 to 255 are reserved; the simulated
    // sensor refuses both).
    {Field::DeviceAddress, 16, 0x01, 0xF7, QT_TRANSLATE_NOOP("MainWindow", "device address")},
    // First calibration register: sign byte (1 positive) and a magnitude byte, so -255 to 255.
    {Field::CalibrationZero, 10, -255, 255,
     QT_TRANSLATE_NOOP("MainWindow", "calibration value (zero offset)")},
    // Second calibration register: the low byte is the factor, the high byte is sent as 0.
    {Field::CalibrationFactor, 10, 0, 255, QT_TRANSLATE_NOOP("MainWindow", "calibration factor")},
};

const FieldRange &rangeOf(Field field)
{
    for (const FieldRange &row : fieldRanges)
        if (row.field == field)
            return row;
    return fieldRanges[0];
}

static QString tr(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

// The typed text as quoted in a refusal: one line, at most 24 characters.
static QString quoted(const QString &text)
{
    constexpr int shownLength = 24;
    QString shown = text.left(shownLength);
    for (QChar &c : shown)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return text.size() > shownLength ? shown + QChar(0x2026) : shown;
}

static QString inBase(int value, int base)
{
    return value < 0 ? QLatin1Char('-') + QString::number(-value, base)
                     : QString::number(value, base);
}

Checked check(Field field, const QString &text)
{
    const FieldRange &range = rangeOf(field);
    bool ok = false;
    // The same conversion the request builders make, so a passing value leaves as before.
    const int value = text.toInt(&ok, range.base);
    if (ok && value >= range.min && value <= range.max)
        return {value, QString()};
    const char *rule =
        range.base == 16
            ? QT_TRANSLATE_NOOP("MainWindow", "Not sent: the %1 must be a hexadecimal number "
                                              "from %2 to %3; \"%4\" is not.")
            : QT_TRANSLATE_NOOP("MainWindow", "Not sent: the %1 must be a whole decimal number "
                                              "from %2 to %3; \"%4\" is not.");
    return {std::nullopt, tr(rule).arg(tr(range.name), inBase(range.min, range.base),
                                       inBase(range.max, range.base), quoted(text))};
}

QString firstRefusal(std::initializer_list<std::pair<Field, QString>> entries)
{
    for (const auto &entry : entries) {
        Checked checked = check(entry.first, entry.second);
        if (!checked.value)
            return checked.refusal;
    }
    return QString();
}

static const char *const notHexByte = QT_TRANSLATE_NOOP(
    "MainWindow", "Not sent: pass-through part %1, \"%2\", is not a hexadecimal byte (00 to ff).");

QString passThroughRefusal(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        if (parts[i].isEmpty() && i > 0 && i == parts.size() - 1)
            continue;
        bool ok = false;
        const int value = parts[i].toInt(&ok, 16);
        if (!ok || value < 0 || value > 0xFF)
            return tr(notHexByte).arg(i + 1).arg(quoted(parts[i]));
    }
    return QString();
}

} // namespace typedinput
