#pragma once

#include <QString>

// The /dev/serial/by-id/ link that points to the port now, or empty. An adapter that is
// unplugged and plugged back may come back as another ttyUSB device; its by-id link follows it.
QString stableLinkFor(const QString &portPath,
                      const QString &linkDirectory = QStringLiteral("/dev/serial/by-id"));
