#pragma once

#include <QString>

// What the user can do when the port cannot be opened or was lost, for the two common causes.
namespace porthint {

enum class Trouble {
    AccessRefused,  // the user may not read and write the device file
    HeldByAnother,  // the device is there and allowed, yet the open was refused: in use
    Other,
};

// permissionError: the open failed with QSerialPort::PermissionError; mayReadWrite: the user
// has read and write access to the device file (access(2)).
Trouble troubleOf(bool permissionError, bool mayReadWrite);

// Translated advice to append to the open-failure text; empty for Other.
QString openAdvice(Trouble trouble);
// Translated advice to append to the lost-port text: both common causes of a refused reopen.
QString lostAdvice();

// Whether the user may read and write the port's device file; portName as typed ("ttyUSB0"
// means /dev/ttyUSB0).
bool mayReadWrite(const QString &portName);

} // namespace porthint
