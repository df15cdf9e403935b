#include "settings/persistence.h"

#include "trip/readouts.h"

namespace velocimo {

namespace {

// Stored flags count as on when their low byte is 1, whatever the rest holds.
bool flagOn(uint32_t stored) {
    return (stored & 0xFFu) == 1;
}

uint32_t stored(int32_t value) {
    return static_cast<uint32_t>(value);
}

void loadNumber(SettingsKey& key, std::u16string_view name, int32_t& field, int32_t fallback) {
    uint32_t value = 0;
    if (key.readDword(name, value)) {
        field = static_cast<int32_t>(value);
    } else {
        field = fallback;
        key.writeDword(name, stored(fallback));
    }
}

void loadSoundPath(SettingsKey& key, std::u16string_view name, PathText& field,
                   const PathText& fallback) {
    if (key.textSize(name) > 0 && readText(key, name, field)) {
        return;
    }
    field.assign(fallback);
    key.writeText(name, fallback.view());
}

struct PortDefault {
    std::u16string_view name;
    std::u16string_view device;
};

constexpr PortDefault kPortDefaults[] = {
    {u"COM0:", u"/dev/ttyS0"},   {u"COM1:", u"/dev/ttyUSB0"}, {u"COM2:", u"/dev/ttyUSB1"},
    {u"COM3:", u"/dev/ttyACM0"}, {u"COM4:", u"/dev/ttyACM1"}, {u"COM5:", u"/dev/rfcomm0"},
    {u"COM6:", u"/dev/serial0"}, {u"COM7:", u"/dev/ttyS1"},   {u"COM8:", u"/dev/ttyAMA0"},
    {u"COM9:", u"/dev/gps0"},
};

} // namespace

void loadOptions(SettingsStore& store, Settings& settings, const SoundDefaults& sounds,
                 PortNameText& portName, NavState& nav) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    loadNumber(*key, u"SpeedLimit0", settings.speedLimits[0], kDefaultSpeedLimits[0]);
    loadNumber(*key, u"SpeedLimit1", settings.speedLimits[1], kDefaultSpeedLimits[1]);
    loadNumber(*key, u"SpeedLimit2", settings.speedLimits[2], kDefaultSpeedLimits[2]);
    loadNumber(*key, u"MaxSpeed", settings.maxSpeed, kDefaultMaxSpeed);
    loadNumber(*key, u"MaxElev", settings.maxElevation, kDefaultMaxElevation);

    loadSoundPath(*key, u"SoundFix", settings.soundFixPath, sounds.fix);
    loadSoundPath(*key, u"SoundLostFix", settings.soundLostFixPath, sounds.lostFix);
    loadSoundPath(*key, u"SoundWarn", settings.soundWarnPath, sounds.warn);
    loadSoundPath(*key, u"SoundOver", settings.soundOverPath, sounds.over);

    loadNumber(*key, u"ComPort", settings.comPort, kDefaultComPort);
    buildPortName(portName, settings.comPort);
    loadNumber(*key, u"Units", settings.units, kDefaultUnits);
    updateUnitLabels(nav, settings.units);

    loadNumber(*key, u"AutoConnect", settings.autoConnect, 0);
    uint32_t value = 0;
    if (key->readDword(u"ContinousOverSound", value)) {
        settings.continuousOverSound = flagOn(value);
    } else {
        settings.continuousOverSound = true;
        key->writeDword(u"ContinousOverSound", 1);
    }
    loadNumber(*key, u"ElevOffset", settings.elevationOffset, 0);

    settings.loggingOn = key->readDword(u"Log", value) && flagOn(value);
    settings.sirfSetup = key->readDword(u"SIRF", value) && flagOn(value);

    // An empty stored name names no file: logging must ask for one rather than open "".
    if (key->textSize(u"LogName") > 0 && readText(*key, u"LogName", settings.logFilePath)) {
        settings.logFileChosen = !settings.logFilePath.empty();
    } else {
        settings.logFileChosen = false;
    }
    key->close();
}

void saveOptions(SettingsStore& store, const Settings& settings) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    key->writeDword(u"SpeedLimit0", stored(settings.speedLimits[0]));
    key->writeDword(u"SpeedLimit1", stored(settings.speedLimits[1]));
    key->writeDword(u"SpeedLimit2", stored(settings.speedLimits[2]));
    key->writeDword(u"MaxSpeed", stored(settings.maxSpeed));
    key->writeDword(u"MaxElev", stored(settings.maxElevation));
    key->writeText(u"SoundFix", settings.soundFixPath.view());
    key->writeText(u"SoundLostFix", settings.soundLostFixPath.view());
    key->writeText(u"SoundWarn", settings.soundWarnPath.view());
    key->writeText(u"SoundOver", settings.soundOverPath.view());
    key->writeDword(u"ComPort", stored(settings.comPort));
    key->writeDword(u"Units", stored(settings.units));
    key->writeDword(u"AutoConnect", stored(settings.autoConnect));
    key->writeDword(u"ContinousOverSound", settings.continuousOverSound ? 1 : 0);
    key->writeDword(u"ElevOffset", stored(settings.elevationOffset));
    key->writeDword(u"SIRF", settings.sirfSetup ? 1 : 0);
    key->writeDword(u"Log", settings.loggingOn ? 1 : 0);
    if (!settings.logFilePath.empty()) {
        key->writeText(u"LogName", settings.logFilePath.view());
    }
    key->close();
}

void loadRunState(SettingsStore& store, Settings& settings, NavState& nav) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    uint32_t value = 0;
    settings.selectedLimit =
        key->readDword(u"SelectedLimit", value) ? static_cast<int32_t>(value) : 0;
    settings.selectedDisplay =
        key->readDword(u"SelectedDisplay", value) ? static_cast<int32_t>(value) : 0;
    loadNumber(*key, u"NightMode", settings.nightMode, 0);
    loadNumber(*key, u"DistTotal", nav.totalDistanceWhole, 0);
    // The fraction is not kept: a restart goes on from the whole unit.
    nav.totalDistance = static_cast<double>(nav.totalDistanceWhole);
    nav.totalDistanceText.format("%06d", nav.totalDistanceWhole);
    key->close();
}

void saveRunState(SettingsStore& store, const Settings& settings, const NavState& nav) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    key->writeDword(u"SelectedLimit", stored(settings.selectedLimit));
    key->writeDword(u"SelectedDisplay", stored(settings.selectedDisplay));
    key->writeDword(u"NightMode", stored(settings.nightMode));
    key->writeDword(u"DistTotal", stored(nav.totalDistanceWhole));
    key->close();
}

std::string portDevicePath(SettingsStore& store, std::u16string_view portName) {
    std::unique_ptr<SettingsKey> key = store.openKey(kPortsKeyPath);
    if (!key) {
        for (const PortDefault& port : kPortDefaults) {
            if (port.name == portName) {
                return toUtf8(port.device);
            }
        }
        return {};
    }
    // All ten go in, so the user finds every name to edit.
    for (const PortDefault& port : kPortDefaults) {
        if (key->textSize(port.name) == 0) {
            key->writeText(port.name, port.device);
        }
    }
    std::u16string device;
    if (portName.empty() || key->textSize(portName) == 0 || !key->readText(portName, device)) {
        device.clear();
    }
    key->close();
    return toUtf8(device);
}

} // namespace velocimo
