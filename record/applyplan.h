#pragma once

#include "commands/settingkeys.h"
#include "record/snapshot.h"

#include <QStringList>
#include <QVector>
#include <optional>

struct WantedSetting
{
    const settings::SettingKey *key = nullptr;
    int value = 0;
};

// The settings of a snapshot checked against the settings table, in the order they are written:
// table order, then the address, then the rate, so the sensor is followed once at the end.
// Only keys that are read and written as settings (and the rate) can be applied; an unknown key,
// a reading, an action or a value outside its range is refused with the key named, as is a key
// of `only` that the file does not hold.
bool wantedSettings(const Snapshot &snapshot, const QStringList &only,
                    QVector<WantedSetting> &wanted, QString &error);

// A key the sensor holds as a setting: the ones a snapshot reads.
bool isSnapshotKey(const settings::SettingKey &key);
