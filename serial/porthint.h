#pragma once

#include <QString>

// What the user can do when the port cannot be opened or was lost, for the two common causes.
namespace porthint {

enum class Trouble
{
    AccessRefused, // the device file exists and the user may not read and write it
    HeldByAnother, // the open was refused although the user may use the device: it is in use
    Other,
};

// permissionError: the open failed with QSerialPort::PermissionError.
Trouble troubleOf(bool permissionError, bool deviceFileRefusesUser);

// Translated advice to append to the open-failure text, with its leading space; empty for Other.
QString openAdvice(Trouble trouble);
// Translated advice to append to the lost-port text: both common causes of a refused reopen.
QString lostAdvice();

// Whether the port's device file exists and the user may not read or write it; portName as
// typed ("ttyUSB0" means /dev/ttyUSB0). Ports without a device file (COM3) refuse no one.
bool deviceFileRefusesUser(const QString &portName);

} // namespace porthint
