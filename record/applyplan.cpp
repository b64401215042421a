#include "record/applyplan.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ApplyPlan", text);
}

// Written after every other key, in this order: each changes how the sensor is reached.
const QStringList followedKeys = {QStringLiteral("address"), QStringLiteral("rate")};

int writeOrder(const settings::SettingKey *key)
{
    const int followed = followedKeys.indexOf(key->key);
    if (followed >= 0)
        return int(settings::keys().size()) + followed;
    return int(key - settings::keys().data());
}

} // namespace

bool isSnapshotKey(const settings::SettingKey &key)
{
    return key.access == settings::Access::ReadWrite;
}

bool wantedSettings(const Snapshot &snapshot, const QStringList &only,
                    QVector<WantedSetting> &wanted, QString &error)
{
    wanted.clear();
    for (const QString &name : only) {
        if (!snapshot.settings.contains(name)) {
            error = settings::find(name)
                        ? tr("%1 is not in the settings file").arg(name)
                        : tr("%1 is not a setting key (px8107ctl keys lists them)").arg(name);
            return false;
        }
    }
    for (auto it = snapshot.settings.begin(); it != snapshot.settings.end(); ++it) {
        const settings::SettingKey *key = settings::find(it.key());
        if (!key) {
            error = tr("%1 is not a setting key (px8107ctl keys lists them)").arg(it.key());
            return false;
        }
        if (!isSnapshotKey(*key) && key->key != QLatin1String("rate")) {
            error =
                tr("%1 cannot be applied from a file: it is not a stored setting").arg(key->key);
            return false;
        }
        const std::optional<QString> text = settingText(it.value());
        if (!text) {
            error = tr("%1: the value must be a whole number, a name or a list of units; %2")
                        .arg(key->key, key->rangeText());
            return false;
        }
        QString valueError;
        const std::optional<int> value = settings::parseValue(*key, *text, &valueError);
        if (!value) {
            error = valueError;
            return false;
        }
        if (only.isEmpty() || only.contains(key->key))
            wanted.push_back({key, *value});
    }
    std::sort(wanted.begin(), wanted.end(), [](const WantedSetting &a, const WantedSetting &b) {
        return writeOrder(a.key) < writeOrder(b.key);
    });
    return true;
}
