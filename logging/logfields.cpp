#include "logging/logfields.h"

#include <memory>

namespace velocimo {

namespace {

struct FieldName {
    bool LogFieldSet::*flag;
    std::u16string_view name;
};

// Column order.
constexpr FieldName kFields[] = {
    {&LogFieldSet::logPositionDec, u"Position_DEC"},
    {&LogFieldSet::logPositionDmm, u"Position_DMM"},
    {&LogFieldSet::logElevation, u"Elevation"},
    {&LogFieldSet::logSpeedCurrent, u"SpeedCurrent"},
    {&LogFieldSet::logSpeedAverage, u"SpeedAverage"},
    {&LogFieldSet::logDistanceTrip, u"DistanceTrip"},
    {&LogFieldSet::logDistanceTotal, u"DistanceTotal"},
    {&LogFieldSet::logSatellites, u"Satellites"},
    {&LogFieldSet::logHdop, u"HDOP"},
};

} // namespace

void loadLogFields(SettingsStore& store, LogFieldSet& fields) {
    std::unique_ptr<SettingsKey> key = store.openKey(kLogKeyPath);
    if (!key) {
        return;
    }
    for (const FieldName& field : kFields) {
        uint32_t value = 0;
        if (key->readDword(field.name, value)) {
            fields.*field.flag = (value & 0xFFu) == 1;
        } else {
            fields.*field.flag = false;
            key->writeDword(field.name, 0);
        }
    }
    key->close();
}

void saveLogFields(SettingsStore& store, const LogFieldSet& fields) {
    std::unique_ptr<SettingsKey> key = store.openKey(kLogKeyPath);
    if (!key) {
        return;
    }
    for (const FieldName& field : kFields) {
        key->writeDword(field.name, fields.*field.flag ? 1 : 0);
    }
    key->close();
}

} // namespace velocimo
