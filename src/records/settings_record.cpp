#include "records/settings_record.h"

ChargeProfile SettingsRecord::Profile(int k) const
{
    ChargeProfile p;
    p.Assign(Data() + ProfileOffset(k));
    return p;
}

void SettingsRecord::SetProfile(int k, const ChargeProfile& p)
{
    std::memcpy(Data() + ProfileOffset(k), p.Data(), ChargeProfile::Size);
}

FieldRpmCurve SettingsRecord::Curve() const
{
    FieldRpmCurve c;
    std::memcpy(c.data(), Data() + FieldRpmCurveAt, c.size());
    return c;
}

void SettingsRecord::SetCurve(const FieldRpmCurve& c)
{
    std::memcpy(Data() + FieldRpmCurveAt, c.data(), c.size());
}
