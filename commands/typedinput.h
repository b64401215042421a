#pragma once

#include <QString>
#include <initializer_list>
#include <optional>
#include <utility>

// Checks of the values a user types into the window's setting fields, made before anything is
// sent. A value that passes is sent by the request builders exactly as before (they convert the
// same text the same way); one that fails sends nothing and the user is told which field and
// which range.
namespace typedinput {

enum class Field
{
    ManualCleanTime,
    AutoCleanSeconds,
    AutoCleanHours,
    HeatTempHigh,
    HeatTempLow,
    HeatHumiHigh,
    HeatHumiLow,
    DeviceAddress,
    CalibrationZero,
    CalibrationFactor,
};

struct FieldRange
{
    Field field;
    int base; // 10, or 16 for the device address
    int min;
    int max;
    const char *name; // source text of the field's name (context "MainWindow")
};

// One row per typed field.
extern const FieldRange fieldRanges[10];
const FieldRange &rangeOf(Field field);

struct Checked
{
    std::optional<int> value;
    QString refusal; // translated; names the field and its range when value is empty
};

// The whole text (surrounding blanks allowed) read in the field's base and held to its range.
Checked check(Field field, const QString &text);

// The refusal of the first field that fails, empty when all pass.
QString firstRefusal(std::initializer_list<std::pair<Field, QString>> entries);

// Pass-through text: parts at single spaces, each a hex byte 00 to ff; the one empty part
// allowed is a last one after a space (the trailing space of the tool's own hex text, sent as
// 00 as before). Empty when the text passes, else the refusal naming the first bad part.
QString passThroughRefusal(const QString &text);

} // namespace typedinput
