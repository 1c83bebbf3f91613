// Arbitrary cell texts taken back into the settings record: every row's
// reader (numbers, text rule, address rule, threshold rule) must cope, and
// the record must then show again without trouble.
#include "settings/charge_profile_rows.h"
#include "views/number_text.h"
#include "settings/system_settings_rows.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint16_t detected = data[0] & 1 ? 24 : 12;
    const int tab = data[1] % 10;
    const QStringList texts = QString::fromLatin1(reinterpret_cast<const char*>(data + 2), int(size - 2))
                                  .split(QLatin1Char('\n'));
    SettingsRecord record;
    for (std::size_t i = 0; i < record.Size; ++i)
        record.Data()[i] = data[i % size];
    StoreSystemSettingsTexts(texts, tab, detected, record);
    if (record.ClearedWord() != 0)
        std::abort();
    const float pulley = record.PulleyRatio();
    if (!(pulley >= 0.1f && pulley <= 9.99f))
        std::abort();
    SystemSettingsTexts(record, detected);

    ChargeProfile profile = record.Profile(0);
    StoreChargeProfileTexts(texts, detected, profile);
    const float bulk = profile.BulkTargetVoltage();
    if (!(bulk >= 0.0f && bulk <= 18.0f))
        std::abort();
    ChargeProfileTexts(profile, detected);

    for (const QString& t : texts) {
        if (const std::optional<double> v = ParseReal(t); v && std::isnan(*v))
            std::abort();
        ParseInteger(t);
    }
    return 0;
}
