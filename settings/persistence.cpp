#include "settings/persistence.h"

#include <algorithm>
#include <array>
#include <span>

namespace velocimo {

namespace {

constexpr std::u16string_view kDistTotalFraction = u"DistTotalFraction";
constexpr uint32_t kMillionths = 1000000;

// Stored flags count as on when their low byte is 1, whatever the rest holds.
bool flagOn(uint32_t stored) {
    return (stored & 0xFFu) == 1;
}

uint32_t stored(int32_t value) {
    return static_cast<uint32_t>(value);
}

enum class Kind {
    Number,   // DWORD
    Flag,     // DWORD, 1 or 0
    Sound,    // text; a missing one takes the shipped sound, written back
    FileName, // text; never defaulted, and an empty one is not saved
};

// One value of the main key and where it lives in memory.
struct Row {
    std::u16string_view name;
    Kind kind;
    int32_t* number = nullptr;
    bool* flag = nullptr;
    PathText* text = nullptr;
    // Numbers and flags: what a missing value loads as, and whether the load writes it back.
    int32_t fallback = 0;
    bool writeDefault = true;
    // Values added after the first release: absent means the fallback, and a file without
    // them stays without them until the user picks something else.
    bool optIn = false;
    const PathText* shipped = nullptr; // Sound: the fallback, not known when saving
    bool* chosen = nullptr;            // FileName: whether a file is named
};

Row number(std::u16string_view name, int32_t& field, int32_t fallback, bool writeDefault = true) {
    return {.name = name,
            .kind = Kind::Number,
            .number = &field,
            .fallback = fallback,
            .writeDefault = writeDefault};
}

Row flag(std::u16string_view name, bool& field, bool fallback, bool writeDefault) {
    return {.name = name,
            .kind = Kind::Flag,
            .flag = &field,
            .fallback = fallback ? 1 : 0,
            .writeDefault = writeDefault};
}

Row optInNumber(std::u16string_view name, int32_t& field, int32_t fallback) {
    Row row = number(name, field, fallback, false);
    row.optIn = true;
    return row;
}

Row optInFlag(std::u16string_view name, bool& field) {
    Row row = flag(name, field, false, false);
    row.optIn = true;
    return row;
}

Row sound(std::u16string_view name, PathText& field, const SoundDefaults* shipped,
          PathText SoundDefaults::*which) {
    return {.name = name,
            .kind = Kind::Sound,
            .text = &field,
            .shipped = shipped ? &(shipped->*which) : nullptr};
}

Row fileName(std::u16string_view name, PathText& field, bool& chosen) {
    return {.name = name, .kind = Kind::FileName, .text = &field, .chosen = &chosen};
}

// In the order the values are saved. A load reads Log before SIRF; reads change nothing.
auto optionRows(Settings& s, const SoundDefaults* sounds) {
    return std::to_array<Row>({
        number(u"SpeedLimit0", s.speedLimits[0], kDefaultSpeedLimits[0]),
        number(u"SpeedLimit1", s.speedLimits[1], kDefaultSpeedLimits[1]),
        number(u"SpeedLimit2", s.speedLimits[2], kDefaultSpeedLimits[2]),
        number(u"MaxSpeed", s.maxSpeed, kDefaultMaxSpeed),
        number(u"MaxElev", s.maxElevation, kDefaultMaxElevation),
        sound(u"SoundFix", s.soundFixPath, sounds, &SoundDefaults::fix),
        sound(u"SoundLostFix", s.soundLostFixPath, sounds, &SoundDefaults::lostFix),
        sound(u"SoundWarn", s.soundWarnPath, sounds, &SoundDefaults::warn),
        sound(u"SoundOver", s.soundOverPath, sounds, &SoundDefaults::over),
        number(u"ComPort", s.comPort, kDefaultComPort),
        number(u"Units", s.units, kDefaultUnits),
        number(u"AutoConnect", s.autoConnect, 0),
        flag(u"ContinousOverSound", s.continuousOverSound, true, true),
        number(u"ElevOffset", s.elevationOffset, 0),
        flag(u"SIRF", s.sirfSetup, false, false),
        flag(u"Log", s.loggingOn, false, false),
        fileName(u"LogName", s.logFilePath, s.logFileChosen),
        optInFlag(u"AnyTalker", s.anyTalker),
        optInFlag(u"VerifyChecksum", s.verifyChecksum),
        optInNumber(u"BaudRate", s.baudRate, kDefaultBaudRate),
        optInFlag(u"TrackLog", s.trackLog),
        optInFlag(u"RawLog", s.rawLog),
        optInFlag(u"Mirror", s.mirror),
        optInFlag(u"AutoNight", s.autoNight),
    });
}

auto runStateRows(Settings& s, NavState& nav) {
    return std::to_array<Row>({
        number(u"SelectedLimit", s.selectedLimit, 0, false),
        number(u"SelectedDisplay", s.selectedDisplay, 0, false),
        number(u"NightMode", s.nightMode, 0),
        number(u"DistTotal", nav.totalDistanceWhole, 0),
        optInFlag(u"FullScreen", s.fullScreen),
        optInNumber(u"WindowWidth", s.windowWidth, 0),
        optInNumber(u"WindowHeight", s.windowHeight, 0),
    });
}

void loadDword(SettingsKey& key, const Row& row) {
    uint32_t value = 0;
    const bool found = key.readDword(row.name, value);
    if (!found && row.writeDefault) {
        key.writeDword(row.name, stored(row.fallback));
    }
    if (row.kind == Kind::Number) {
        *row.number = found ? static_cast<int32_t>(value) : row.fallback;
    } else {
        *row.flag = found ? flagOn(value) : row.fallback != 0;
    }
}

void loadText(SettingsKey& key, const Row& row) {
    const bool found = key.textSize(row.name) > 0 && readText(key, row.name, *row.text);
    if (row.kind == Kind::FileName) {
        // An empty stored name names no file: logging must ask for one rather than open "".
        *row.chosen = found && !row.text->empty();
    } else if (!found) {
        row.text->assign(*row.shipped);
        key.writeText(row.name, row.shipped->view());
    }
}

void loadRows(SettingsKey& key, std::span<const Row> rows) {
    for (const Row& row : rows) {
        if (row.kind == Kind::Number || row.kind == Kind::Flag) {
            loadDword(key, row);
        } else {
            loadText(key, row);
        }
    }
}

// An opt-in value at its fallback is written only over a stored one, which would else win.
bool skipOptIn(SettingsKey& key, const Row& row) {
    if (!row.optIn) {
        return false;
    }
    const int32_t value = row.kind == Kind::Number ? *row.number : (*row.flag ? 1 : 0);
    uint32_t old = 0;
    return value == row.fallback && !key.readDword(row.name, old);
}

void saveRows(SettingsKey& key, std::span<const Row> rows) {
    for (const Row& row : rows) {
        if (skipOptIn(key, row)) {
            continue;
        }
        switch (row.kind) {
        case Kind::Number:
            key.writeDword(row.name, stored(*row.number));
            break;
        case Kind::Flag:
            key.writeDword(row.name, *row.flag ? 1 : 0);
            break;
        case Kind::Sound:
            key.writeText(row.name, row.text->view());
            break;
        case Kind::FileName:
            // No name leaves the stored one alone.
            if (!row.text->empty()) {
                key.writeText(row.name, row.text->view());
            }
            break;
        }
    }
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

bool loadOptions(SettingsStore& store, Settings& settings, const SoundDefaults& sounds) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return false;
    }
    loadRows(*key, optionRows(settings, &sounds));
    key->close();
    return true;
}

void saveOptions(SettingsStore& store, const Settings& settings) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    // The rows point at what a load fills in; saving only reads through them.
    saveRows(*key, optionRows(const_cast<Settings&>(settings), nullptr));
    key->close();
}

void loadRunState(SettingsStore& store, Settings& settings, NavState& nav) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    loadRows(*key, runStateRows(settings, nav));
    // Millionths of a unit past DistTotal; a file without them goes on from the whole unit.
    uint32_t fraction = 0;
    if (!key->readDword(kDistTotalFraction, fraction) || fraction >= kMillionths) {
        fraction = 0;
    }
    nav.totalDistance =
        static_cast<double>(nav.totalDistanceWhole) + static_cast<double>(fraction) / kMillionths;
    nav.totalDistanceText.format("%06d", nav.totalDistanceWhole);
    key->close();
}

void saveRunState(SettingsStore& store, const Settings& settings, const NavState& nav) {
    std::unique_ptr<SettingsKey> key = store.openKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    saveRows(*key, runStateRows(const_cast<Settings&>(settings), const_cast<NavState&>(nav)));
    // Written once there is a fraction to keep, and from then on, so DistTotal readers see
    // the same file as before until the odometer has moved.
    double part = nav.totalDistance - static_cast<double>(nav.totalDistanceWhole);
    auto fraction = static_cast<uint32_t>(part > 0 && part < 1 ? part * kMillionths : 0);
    fraction = std::min(fraction, kMillionths - 1);
    uint32_t old = 0;
    if (fraction != 0 || key->readDword(kDistTotalFraction, old)) {
        key->writeDword(kDistTotalFraction, fraction);
    }
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
