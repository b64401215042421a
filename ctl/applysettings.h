#pragma once

#include "device/sensorclient.h"
#include "record/applyplan.h"

#include <QString>
#include <QVector>

enum class ApplyVerdict : quint8
{
    Same,
    Written,
    WouldWrite,
    Mismatch,
    Failed,
    NotReached
};

struct ApplyRow
{
    const settings::SettingKey *key = nullptr;
    std::optional<int> before;
    int wanted = 0;
    std::optional<int> after;
    ApplyVerdict verdict = ApplyVerdict::NotReached;
};

struct ApplyResult
{
    QVector<ApplyRow> rows;
    ClientFailure failure; // the transaction that stopped the run, kind None when none did
    const settings::SettingKey *failedKey = nullptr;
    bool mismatch() const;
};

const char *applyVerdictName(ApplyVerdict verdict);

// Reads every wanted key, writes those that differ in the given order and reads each back. Stops
// at the first failed transaction; the rows after it are not reached.
ApplyResult applySettings(SensorClient &client, const QVector<WantedSetting> &wanted, bool dryRun);

// The settings of a snapshot file, checked; a fault names the file and the key.
bool loadWantedSettings(const QString &path, const QStringList &only,
                        QVector<WantedSetting> &wanted, QString &error);
