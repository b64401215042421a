#include "ctl/applysettings.h"

namespace {

struct VerdictName
{
    ApplyVerdict verdict;
    const char *name;
};
constexpr VerdictName verdictNames[] = {
    {ApplyVerdict::Same, "same"},
    {ApplyVerdict::Written, "written"},
    {ApplyVerdict::WouldWrite, "would write"},
    {ApplyVerdict::Mismatch, "mismatch"},
    {ApplyVerdict::Failed, "failed"},
    {ApplyVerdict::NotReached, "not reached"},
};

bool isLineRate(const settings::SettingKey &key)
{
    return key.access == settings::Access::Line;
}

} // namespace

const char *applyVerdictName(ApplyVerdict verdict)
{
    for (const VerdictName &row : verdictNames)
        if (row.verdict == verdict)
            return row.name;
    return "";
}

bool ApplyResult::mismatch() const
{
    for (const ApplyRow &row : rows)
        if (row.verdict == ApplyVerdict::Mismatch)
            return true;
    return false;
}

ApplyResult applySettings(SensorClient &client, const QVector<WantedSetting> &wanted, bool dryRun)
{
    ApplyResult result;
    for (const WantedSetting &setting : wanted)
        result.rows.push_back(
            {setting.key, std::nullopt, setting.value, std::nullopt, ApplyVerdict::NotReached});
    for (ApplyRow &row : result.rows) {
        if (isLineRate(*row.key)) {
            row.before = client.engine().baudRate();
            continue;
        }
        const Answer<int> before = client.get(*row.key);
        if (!before) {
            result.failure = before.failure;
            result.failedKey = row.key;
            return result;
        }
        row.before = *before;
    }
    for (ApplyRow &row : result.rows) {
        if (row.before == row.wanted) {
            row.after = row.before;
            row.verdict = ApplyVerdict::Same;
            continue;
        }
        if (dryRun) {
            row.verdict = ApplyVerdict::WouldWrite;
            continue;
        }
        const Answer<int> after = client.set(*row.key, row.wanted);
        if (after) {
            row.after = *after;
            row.verdict = *after == row.wanted ? ApplyVerdict::Written : ApplyVerdict::Mismatch;
        } else if (after.failure.kind == ClientFailure::Kind::Mismatch) {
            row.verdict = ApplyVerdict::Mismatch;
            const Answer<int> held = client.get(*row.key);
            if (held)
                row.after = *held;
        } else {
            row.verdict = ApplyVerdict::Failed;
            result.failure = after.failure;
            result.failedKey = row.key;
            return result;
        }
    }
    return result;
}
