#pragma once

#include "commands/registermap.h"
#include "replies/rxbuffer.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

// The sensor's settings by stable key, for the command line and scripts.
namespace settings {

enum class Access : quint8
{
    Read,      // a reading; cannot be set
    ReadWrite, // read from its register, set by writing it
    Line,      // set by writing its register; its value is what the line answers at
    Action,    // carried out by a write; nothing to read
};

enum class ValueKind : quint8
{
    Integer,
    Choice,  // one of named values
    UnitSet, // detection units 1 to 4, as a bit mask
};

struct Choice
{
    int value;
    const char *name;
};

struct SettingKey
{
    QString key;
    Register reg;
    quint8 object;  // object selector of per-object registers
    int byteOffset; // first byte of the value in the register data
    int byteCount;
    bool isSigned;
    int minimum;
    int maximum;
    QString unit;
    ValueKind kind;
    std::vector<Choice> choices;
    Access access;
    // The value in a read reply, through the decoders; nothing when the reply holds no valid one.
    std::optional<int> (*decode)(const RxBuffer &reply);
    QString description;

    quint16 address() const { return registerAddress(reg, object); }
    bool isReadable() const { return access == Access::ReadWrite || access == Access::Read; }
    bool isWritable() const { return access != Access::Read; }
    // Another key shares the register, so a write must carry its current bytes.
    bool sharesRegister() const;
    // "1 to 247", "auto or manual", "units 1 to 4, comma-separated, or none".
    QString rangeText() const;
};

// Every key, the fixed ones first, then weights and calibration per object and range.
const std::vector<SettingKey> &keys();
const SettingKey *find(const QString &key);

// The typed value of text, checked against the key's range; an error names the key and range.
std::optional<int> parseValue(const SettingKey &key, const QString &text, QString *error);
// As it would be typed, so `get` output can be fed back to `set`.
QString formatValue(const SettingKey &key, int value);
// A number, a choice's name, or an array of unit numbers.
QVariant jsonValue(const SettingKey &key, int value);

// The read request of a readable key, from unit 0.
QByteArray readRequest(const SettingKey &key);
// The write request of a writable key; `current` is a read reply of the register when
// sharesRegister(), so the other values in it stay as they are.
QByteArray writeRequest(const SettingKey &key, int value, const RxBuffer &current = {});

} // namespace settings
