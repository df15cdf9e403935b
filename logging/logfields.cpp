#include "logging/logfields.h"

#include <memory>

namespace velocimo {

namespace {

constexpr LogFieldInfo kFields[] = {
    {&LogFieldSet::logPositionDec, u"Position_DEC", 1026, u"Position (DDD.DDDDDD)",
     "LAT_DEC,LONG_DEC", 2,
     [](const NavState& nav) {
         return LogFieldTexts{nav.latitude.decText.view(), nav.longitude.decText.view()};
     }},
    {&LogFieldSet::logPositionDmm, u"Position_DMM", 1027, u"Position (DDDMM.MMMMM)",
     "LAT_DMM,LONG_DMM", 2,
     [](const NavState& nav) {
         return LogFieldTexts{nav.latitude.dmmText.view(), nav.longitude.dmmText.view()};
     }},
    {&LogFieldSet::logElevation, u"Elevation", 1028, u"Elevation", "ELEVATION", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.elevationText.view()}; }},
    {&LogFieldSet::logSpeedCurrent, u"SpeedCurrent", 1029, u"Speed (Current)", "SPEED_CUR", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.speedText.view()}; }},
    {&LogFieldSet::logSpeedAverage, u"SpeedAverage", 1030, u"Speed (Average)", "SPEED_AVG", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.averageSpeedText.view()}; }},
    {&LogFieldSet::logDistanceTrip, u"DistanceTrip", 1032, u"Distance (Trip)", "DIST_TRIP", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.tripDistanceText.view()}; }},
    {&LogFieldSet::logDistanceTotal, u"DistanceTotal", 1033, u"Distance (Total)", "DIST_TOTAL", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.totalDistanceText.view()}; }},
    {&LogFieldSet::logSatellites, u"Satellites", 1034, u"Satellites", "SATELLITES", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.satellitesText.view()}; }},
    {&LogFieldSet::logHdop, u"HDOP", 1035, u"HDOP", "HDOP", 1,
     [](const NavState& nav) { return LogFieldTexts{nav.hdopText.view()}; }},
};

} // namespace

std::span<const LogFieldInfo> logFields() {
    return kFields;
}

void loadLogFields(SettingsStore& store, LogFieldSet& fields) {
    std::unique_ptr<SettingsKey> key = store.openKey(kLogKeyPath);
    if (!key) {
        return;
    }
    for (const LogFieldInfo& field : kFields) {
        uint32_t value = 0;
        if (key->readDword(field.registryName, value)) {
            fields.*field.flag = (value & 0xFFu) == 1;
        } else {
            fields.*field.flag = false;
            key->writeDword(field.registryName, 0);
        }
    }
    key->close();
}

void saveLogFields(SettingsStore& store, const LogFieldSet& fields) {
    std::unique_ptr<SettingsKey> key = store.openKey(kLogKeyPath);
    if (!key) {
        return;
    }
    for (const LogFieldInfo& field : kFields) {
        key->writeDword(field.registryName, fields.*field.flag ? 1 : 0);
    }
    key->close();
}

} // namespace velocimo
