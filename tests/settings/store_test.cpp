#include "settings/persistence.h"
#include "settings/regdocument.h"
#include "settings/regfilestore.h"
#include "shell/core/portname.h"
#include "tests/support/storetestutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velocimo {
namespace {

using testutil::ConfigFolder;

constexpr const char* kHead = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]\r\n";

SoundDefaults shippedSounds() {
    SoundDefaults s;
    s.fix.assignUtf8("/usr/share/velocimo/infbeg.wav");
    s.lostFix.assignUtf8("/usr/share/velocimo/infend.wav");
    s.warn.assignUtf8("/usr/share/velocimo/alarm2.wav");
    s.over.assignUtf8("/usr/share/velocimo/alarm1.wav");
    return s;
}

struct Loaded {
    Settings settings;
    NavState nav;
    PortNameText portName;
};

// The start-up order: run state first, then the options.
Loaded startUp() {
    Loaded l;
    resetNavState(l.nav);
    l.settings.continuousOverSound = true;
    RegFileStore store;
    loadRunState(store, l.settings, l.nav);
    if (loadOptions(store, l.settings, shippedSounds())) {
        buildPortName(l.portName, l.settings.comPort);
    }
    return l;
}

RegDocument parsedFile(const ConfigFolder& cfg) {
    RegDocument doc;
    std::string error;
    EXPECT_TRUE(RegDocument::parse(cfg.read(), doc, error)) << error;
    return doc;
}

std::set<std::string> valueNames(const RegDocument& doc, const std::string& header) {
    std::set<std::string> names;
    for (const RegSection& s : doc.sections()) {
        if (s.header == header) {
            for (const RegEntry& e : s.entries) {
                names.insert(e.value.name);
            }
        }
    }
    return names;
}

uint32_t storedDword(const RegDocument& doc, std::u16string_view name) {
    const RegValue* v = doc.find(kSettingsKeyPath, name);
    uint32_t d = 0xDEADBEEF;
    EXPECT_TRUE(v && valueDword(*v, d)) << toUtf8(name);
    return d;
}

bool noStrayFiles(const ConfigFolder& cfg) {
    for (const auto& entry : std::filesystem::directory_iterator(cfg.folder())) {
        const std::string name = entry.path().filename().string();
        if (name != "Velocimo.reg" && name.rfind("Velocimo.reg.bad-", 0) != 0 &&
            name != "dotfiles.reg") {
            ADD_FAILURE() << "left behind: " << name;
            return false;
        }
    }
    return true;
}

TEST(SettingsStore, FirstStartWritesExactlyTheDefaultsThatAreWrittenBack) {
    ConfigFolder cfg;
    Loaded l = startUp();

    EXPECT_EQ(l.settings.speedLimits[0], 50);
    EXPECT_EQ(l.settings.speedLimits[2], 100);
    EXPECT_EQ(l.settings.maxSpeed, 120);
    EXPECT_EQ(l.settings.units, 1);
    EXPECT_TRUE(l.settings.continuousOverSound);
    EXPECT_FALSE(l.settings.logFileChosen);
    EXPECT_EQ(l.portName, u"COM1:");
    EXPECT_EQ(l.nav.totalDistanceText, u"000000");
    EXPECT_EQ(l.settings.soundWarnPath, u"/usr/share/velocimo/alarm2.wav");

    const RegDocument doc = parsedFile(cfg);
    const std::set<std::string> expected = {
        "SpeedLimit0",        "SpeedLimit1", "SpeedLimit2", "MaxSpeed", "MaxElev", "SoundFix",
        "SoundLostFix",       "SoundWarn",   "SoundOver",   "ComPort",  "Units",   "AutoConnect",
        "ContinousOverSound", "ElevOffset",  "NightMode",   "DistTotal"};
    EXPECT_EQ(valueNames(doc, "HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo"), expected);
    const struct {
        std::u16string_view name;
        uint32_t value;
    } numbers[] = {{u"SpeedLimit0", 50}, {u"SpeedLimit1", 80}, {u"SpeedLimit2", 100},
                   {u"MaxSpeed", 120},   {u"MaxElev", 500},    {u"ComPort", 1},
                   {u"Units", 1},        {u"AutoConnect", 0},  {u"ContinousOverSound", 1},
                   {u"ElevOffset", 0},   {u"NightMode", 0},    {u"DistTotal", 0}};
    for (const auto& n : numbers) {
        EXPECT_EQ(storedDword(doc, n.name), n.value) << toUtf8(n.name);
    }
    EXPECT_NE(cfg.read().find("\"MaxSpeed\"=dword:00000078\r\n"), std::string::npos);

    struct stat st {};
    ASSERT_EQ(stat(cfg.file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(cfg.folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(noStrayFiles(cfg));
}

TEST(SettingsStore, NothingChangedMeansTheFileIsNotRewritten) {
    ConfigFolder cfg;
    startUp();
    struct stat before {};
    ASSERT_EQ(stat(cfg.file().c_str(), &before), 0);
    startUp();
    struct stat after {};
    ASSERT_EQ(stat(cfg.file().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(SettingsStore, DwordIsReadOnlyFromFourStoredBytes) {
    const struct {
        const char* line;
        int32_t maxSpeed;
        bool replaced;
    } cases[] = {
        {"\"MaxSpeed\"=dword:00000050", 80, false},
        {"\"maxspeed\"=dword:00000050", 80, false}, // names match regardless of case
        {"\"MaxSpeed\"=dword:ffffffff", -1, false},
        {"\"MaxSpeed\"=hex:50,00,00,00", 80, false},
        {"\"MaxSpeed\"=hex(4):51,00,00,00", 81, false},
        {"\"MaxSpeed\"=hex(b):50,00,00,00,00,00,00,00", 120, true},
        {"\"MaxSpeed\"=hex:50,00", 120, true},
        {"\"MaxSpeed\"=\"fast\"", 120, true},
        {"\"MaxSpeed\"=dword:zz", 120, true},
        {"\"MaxSpeed\"=dword:1234567890", 120, true},
        {"\"MaxSpeed\"=-", 120, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ConfigFolder cfg;
        cfg.write(std::string(kHead) + c.line + "\r\n");
        const Loaded l = startUp();
        EXPECT_EQ(l.settings.maxSpeed, c.maxSpeed);
        const std::string text = cfg.read();
        EXPECT_EQ(text.find("=dword:00000078") != std::string::npos, c.replaced);
        // Exactly one MaxSpeed remains.
        const RegDocument doc = parsedFile(cfg);
        int count = 0;
        for (const RegEntry& e : doc.sections()[0].entries) {
            count += (e.value.name == "MaxSpeed" || e.value.name == "maxspeed") ? 1 : 0;
        }
        EXPECT_EQ(count, 1);
    }
}

TEST(SettingsStore, FlagsAreOnWhenTheLowByteIsOne) {
    const struct {
        const char* stored;
        bool on;
    } cases[] = {{"00000001", true},  {"00000101", true},  {"00000002", false},
                 {"00000100", false}, {"00000000", false}, {"ffffff01", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        ConfigFolder cfg;
        cfg.write(std::string(kHead) + "\"Log\"=dword:" + c.stored + "\r\n\"SIRF\"=dword:" +
                  c.stored + "\r\n\"ContinousOverSound\"=dword:" + c.stored + "\r\n");
        const Loaded l = startUp();
        EXPECT_EQ(l.settings.loggingOn, c.on);
        EXPECT_EQ(l.settings.sirfSetup, c.on);
        EXPECT_EQ(l.settings.continuousOverSound, c.on);
    }
}

TEST(SettingsStore, OdometerKeepsTheWholeUnitAndItsFraction) {
    ConfigFolder cfg;
    cfg.write(std::string(kHead) + "\"DistTotal\"=dword:000004d2\r\n");
    Loaded l = startUp();
    EXPECT_EQ(l.nav.totalDistanceWhole, 1234);
    EXPECT_EQ(l.nav.totalDistance, 1234.0);
    EXPECT_EQ(l.nav.totalDistanceText, u"001234");

    l.nav.totalDistance = 1234.9;
    l.settings.selectedLimit = 2;
    l.settings.selectedDisplay = 4;
    l.settings.nightMode = 1;
    {
        RegFileStore store;
        saveRunState(store, l.settings, l.nav);
    }
    const Loaded again = startUp();
    // DistTotal keeps the whole unit for readers that know only it; the fraction goes on.
    EXPECT_EQ(storedDword(parsedFile(cfg), u"DistTotal"), 1234u);
    EXPECT_EQ(storedDword(parsedFile(cfg), u"DistTotalFraction"), 900000u);
    EXPECT_NEAR(again.nav.totalDistance, 1234.9, 1e-6);
    EXPECT_EQ(again.nav.totalDistanceText, u"001234");
    EXPECT_EQ(again.settings.selectedLimit, 2);
    EXPECT_EQ(again.settings.selectedDisplay, 4);
    EXPECT_EQ(again.settings.nightMode, 1);
}

TEST(SettingsStore, TextsRoundTripAndAreCutToTheField) {
    ConfigFolder cfg;
    Loaded l = startUp();
    const std::u16string longPath = u"/media/sd/" + std::u16string(190, u'x');
    const std::u16string escaped = u"C:\\Sounds\\\"loud\" ä€.wav";
    l.settings.soundFixPath.assign(longPath);
    l.settings.soundOverPath.assign(escaped);
    l.settings.logFilePath.assign(u"/home/u/log\r\nnext.csv"); // a line break goes out as hex
    l.settings.loggingOn = true;
    {
        RegFileStore store;
        saveOptions(store, l.settings);
    }
    EXPECT_NE(
        cfg.read().find("\"SoundOver\"=\"C:\\\\Sounds\\\\\\\"loud\\\" \xC3\xA4\xE2\x82\xAC.wav\""),
        std::string::npos);
    const Loaded again = startUp();
    EXPECT_EQ(again.settings.soundFixPath.view(), longPath);
    EXPECT_EQ(again.settings.soundOverPath.view(), escaped);
    EXPECT_EQ(again.settings.logFilePath.view(), u"/home/u/log\r\nnext.csv");
    EXPECT_TRUE(again.settings.loggingOn);
    EXPECT_TRUE(again.settings.logFileChosen);

    // Longer than the field: the first 255 characters, terminated.
    cfg.write(std::string(kHead) + "\"SoundWarn\"=\"" + std::string(100000, 'w') + "\"\r\n");
    const Loaded cut = startUp();
    EXPECT_EQ(cut.settings.soundWarnPath.size(), 255u);
    EXPECT_EQ(cut.settings.soundWarnPath[254], u'w');
}

TEST(SettingsStore, LogNameIsKeptUnlessAFileIsKnown) {
    ConfigFolder cfg;
    cfg.write(std::string(kHead) + "\"LogName\"=\"/home/u/trip.csv\"\r\n");
    Loaded l = startUp();
    EXPECT_TRUE(l.settings.logFileChosen);
    l.settings.logFilePath.clear();
    {
        RegFileStore store;
        saveOptions(store, l.settings);
    }
    EXPECT_NE(cfg.read().find("\"LogName\"=\"/home/u/trip.csv\""), std::string::npos);

    // A stored empty name names no file.
    cfg.write(std::string(kHead) + "\"LogName\"=\"\"\r\n");
    EXPECT_FALSE(startUp().settings.logFileChosen);
}

TEST(SettingsStore, ForeignExportsLoad) {
    const std::string body = "[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]\r\n"
                             "\"SpeedLimit0\"=dword:0000001e\r\n"
                             "\"SoundFix\"=\"/snd/b\xC3\xA9"
                             "ep.wav\"\r\n";
    // UTF-16LE with BOM, as regedit exports.
    std::string utf16 = "\xFF\xFE";
    for (char16_t u :
         fromUtf8(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + body)) {
        utf16.push_back(static_cast<char>(u & 0xFF));
        utf16.push_back(static_cast<char>(u >> 8));
    }
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"utf16", utf16},
        {"utf8-bom", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n" + body},
        {"regedit4-latin1", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]\r\n"
                            "\"SpeedLimit0\"=dword:0000001e\r\n\"SoundFix\"=\"/snd/b\xE9"
                            "ep.wav\"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFolder cfg;
        cfg.write(c.bytes);
        const Loaded l = startUp();
        EXPECT_EQ(l.settings.speedLimits[0], 30);
        EXPECT_EQ(l.settings.soundFixPath.view(), u"/snd/béep.wav");
        EXPECT_FALSE(std::filesystem::exists(cfg.file().string() + ".bad"));
        // Rewritten as UTF-8 with the version 5 header.
        EXPECT_EQ(cfg.read().rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    }
}

TEST(SettingsStore, ForeignValuesAndKeysSurviveARewrite) {
    ConfigFolder cfg;
    const std::string kept[] = {
        "; exported by hand",
        "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00",
        "\"List\"=hex(7):61,00,00,00,\\",
        "  62,00,00,00,00,00",
        "\"Big\"=hex(b):01,02,03,04,05,06,07,08",
        "\"Odd\"=weird:stuff",
        "[HKEY_CURRENT_USER\\Software\\Other]",
        "@=\"default text\"",
    };
    std::string file = std::string(kHead);
    for (const std::string& line : kept) {
        file += line + "\r\n";
    }
    cfg.write(file);
    startUp();
    const std::string text = cfg.read();
    for (const std::string& line : kept) {
        EXPECT_NE(text.find(line + "\r\n"), std::string::npos) << line;
    }
    EXPECT_NE(text.find("\"MaxSpeed\"=dword:00000078"), std::string::npos);
}

std::vector<std::filesystem::path> backups(const ConfigFolder& cfg) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(cfg.folder())) {
        if (entry.path().filename().string().rfind("Velocimo.reg.bad-", 0) == 0) {
            found.push_back(entry.path());
        }
    }
    return found;
}

TEST(SettingsStore, FilesThatAreNotTextAreKeptAside) {
    std::string nulInside = std::string(kHead) + "\"MaxSpeed\"=dword:0000";
    nulInside += '\0';
    nulInside += "0050\r\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
    }
    std::string huge =
        std::string(kHead) + "\"SoundFix\"=\"" + std::string(10 << 20, 'a') + "\"\r\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"garbage", garbage},
        {"garbage without NUL", "\x01\x02\xff\xfe\x80 binary \x1b[0m"},
        {"nul", nulInside},
        {"ten megabytes", huge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFolder cfg;
        cfg.write(c.bytes);
        const Loaded l = startUp();
        EXPECT_EQ(l.settings.maxSpeed, 120);
        const auto aside = backups(cfg);
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(ConfigFolder::read(aside[0]), c.bytes);
        EXPECT_EQ(storedDword(parsedFile(cfg), u"MaxSpeed"), 120u);
        EXPECT_TRUE(noStrayFiles(cfg));
    }
}

TEST(SettingsStore, LinesThatCannotBeReadCostOnlyThemselves) {
    const struct {
        const char* name;
        std::string bytes;
        std::vector<int> ignored;
        const char* kept; // the bad line, still in the file after the rewrite
    } cases[] = {
        {"truncated header", "Windows Registry Ed", {1}, "Windows Registry Ed"},
        {"truncated key",
         "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Soft",
         {3},
         "[HKEY_CURRENT_USER\\Soft"},
        {"truncated name", std::string(kHead) + "\"MaxSp", {4}, "\"MaxSp"},
        {"value before key",
         "Windows Registry Editor Version 5.00\r\n\"MaxSpeed\"=dword:1\r\n",
         {2},
         "\"MaxSpeed\"=dword:1"},
        {"stray text among values",
         std::string(kHead) + "\"SpeedLimit0\"=dword:0000001e\r\nnote to self\r\n"
                              "# a comment\r\n\"MaxSpeed\"=dword:00000064\r\n",
         {5},
         "note to self"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFolder cfg;
        cfg.write(c.bytes);
        RegDocument doc;
        std::string error;
        ASSERT_TRUE(RegDocument::parse(c.bytes, doc, error)) << error;
        EXPECT_EQ(doc.ignoredLines(), c.ignored);
        const Loaded l = startUp();
        EXPECT_TRUE(backups(cfg).empty());
        const std::string text = cfg.read();
        EXPECT_NE(text.find(std::string(c.kept) + "\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\"SpeedLimit1\"=dword:00000050"), std::string::npos);
        if (std::string(c.name) == "stray text among values") {
            EXPECT_EQ(l.settings.speedLimits[0], 30);
            EXPECT_EQ(l.settings.maxSpeed, 100);
            EXPECT_NE(text.find("# a comment\r\n"), std::string::npos);
        } else {
            EXPECT_EQ(l.settings.maxSpeed, 120);
        }
    }
}

TEST(SettingsStore, WrongTypesAndOddValuesLoadAsDefaults) {
    const char* names[] = {
        "SpeedLimit0",        "SpeedLimit1", "SpeedLimit2", "MaxSpeed", "MaxElev", "SoundFix",
        "SoundLostFix",       "SoundWarn",   "SoundOver",   "ComPort",  "Units",   "AutoConnect",
        "ContinousOverSound", "ElevOffset",  "Log",         "SIRF",     "LogName", "SelectedLimit",
        "SelectedDisplay",    "NightMode",   "DistTotal"};
    const char* wrong[] = {"hex(b):01,02,03,04,05,06,07,08", "hex:", "hex(0):", "-",
                           "hex(7):00,00"};
    for (const char* data : wrong) {
        SCOPED_TRACE(data);
        ConfigFolder cfg;
        std::string file = kHead;
        for (const char* n : names) {
            file += std::string("\"") + n + "\"=" + data + "\r\n";
        }
        cfg.write(file);
        const Loaded l = startUp();
        EXPECT_EQ(l.settings.speedLimits[1], 80);
        EXPECT_EQ(l.settings.soundFixPath, u"/usr/share/velocimo/infbeg.wav");
        EXPECT_FALSE(l.settings.loggingOn);
        EXPECT_FALSE(l.settings.logFileChosen);
        EXPECT_EQ(l.nav.totalDistanceText, u"000000");
        EXPECT_FALSE(std::filesystem::exists(cfg.file().string() + ".bad"));
    }
}

TEST(SettingsStore, StoreThatCannotWriteStillLoadsDefaults) {
    // A plain file where the folder should be blocks every write, even for root.
    ConfigFolder cfg;
    { std::ofstream blocker(cfg.folder()); }
    const Loaded l = startUp();
    EXPECT_EQ(l.settings.maxSpeed, 120);
    EXPECT_EQ(l.settings.speedLimits[1], 80);
    EXPECT_TRUE(std::filesystem::is_regular_file(cfg.folder()));
    RegFileStore store;
    EXPECT_EQ(portDevicePath(store, u"COM3:"), "/dev/ttyACM0");
}

TEST(SettingsStore, ReadOnlyFolderLoadsDefaultsWithoutWriting) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    ConfigFolder cfg;
    std::filesystem::create_directories(cfg.folder());
    chmod(cfg.folder().c_str(), 0500);
    const Loaded l = startUp();
    EXPECT_EQ(l.settings.maxSpeed, 120);
    EXPECT_FALSE(std::filesystem::exists(cfg.file()));
}

TEST(SettingsStore, RewriteGoesThroughALinkAndAnEmptyFileIsNotBad) {
    ConfigFolder cfg;
    std::filesystem::create_directories(cfg.folder());
    const auto real = cfg.folder() / "dotfiles.reg";
    { std::ofstream empty(real); }
    std::filesystem::create_symlink(real, cfg.file());
    startUp();
    EXPECT_TRUE(std::filesystem::is_symlink(cfg.file()));
    EXPECT_NE(ConfigFolder::read(real).find("\"MaxSpeed\"=dword:00000078"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(cfg.file().string() + ".bad"));
}

TEST(SettingsStore, PortNamesMapToDevices) {
    ConfigFolder cfg;
    RegFileStore store;
    const struct {
        std::u16string_view name;
        const char* device;
    } defaults[] = {{u"COM0:", "/dev/ttyS0"},
                    {u"COM1:", "/dev/ttyUSB0"},
                    {u"COM2:", "/dev/ttyUSB1"},
                    {u"COM3:", "/dev/ttyACM0"},
                    {u"COM4:", "/dev/ttyACM1"},
                    {u"COM5:", "/dev/rfcomm0"},
                    {u"COM6:", "/dev/serial0"},
                    {u"COM7:", "/dev/ttyS1"},
                    {u"COM8:", "/dev/ttyAMA0"},
                    {u"COM9:", "/dev/gps0"},
                    {u"com9:", "/dev/gps0"},
                    {u"COM10:", ""},
                    {u"", ""}};
    for (const auto& d : defaults) {
        EXPECT_EQ(portDevicePath(store, d.name), d.device) << toUtf8(d.name);
    }
    EXPECT_EQ(
        valueNames(parsedFile(cfg), "HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo\\Ports").size(),
        10u);

    std::string edited = cfg.read();
    const std::string from = "\"COM1:\"=\"/dev/ttyUSB0\"";
    edited.replace(edited.find(from), from.size(), "\"COM1:\"=\"/dev/ttyGPS\"");
    cfg.write(edited);
    EXPECT_EQ(portDevicePath(store, u"COM1:"), "/dev/ttyGPS");
}

TEST(SettingsStore, KeysOpenAtOnceDoNotUndoEachOther) {
    ConfigFolder cfg;
    RegFileStore store;
    auto main = store.openKey(kSettingsKeyPath);
    auto log = store.openKey(kLogKeyPath);
    main->writeDword(u"MaxSpeed", 90);
    log->writeDword(u"HDOP", 1);
    log->close();
    main->close();
    const RegDocument doc = parsedFile(cfg);
    EXPECT_EQ(storedDword(doc, u"MaxSpeed"), 90u);
    uint32_t hdop = 0;
    const RegValue* v = doc.find(kLogKeyPath, u"HDOP");
    EXPECT_TRUE(v && valueDword(*v, hdop) && hdop == 1);
}

TEST(SettingsStore, MemoryStoreBehavesLikeTheFile) {
    MemorySettingsStore store;
    Settings s;
    loadOptions(store, s, shippedSounds());
    s.maxSpeed = 77;
    saveOptions(store, s);
    Settings again;
    loadOptions(store, again, shippedSounds());
    EXPECT_EQ(again.maxSpeed, 77);
    EXPECT_NE(store.text().find("\"MaxSpeed\"=dword:0000004d"), std::string::npos);
}

// Every stored value goes back to the field it came from, whatever the numbers and texts.
TEST(SettingsStore, EveryValueRoundTripsThroughTheStore) {
    struct Case {
        const char* name;
        Settings settings;
        int32_t totalDistance;
    };
    Case cases[3] = {{"all changed", {}, 98765}, {"extremes", {}, INT_MAX}, {"emptied", {}, 0}};
    {
        Settings& s = cases[0].settings;
        s.speedLimits[0] = 30;
        s.speedLimits[1] = 60;
        s.speedLimits[2] = 90;
        s.maxSpeed = 200;
        s.maxElevation = 3000;
        s.soundFixPath.assignUtf8("/snd/fix.wav");
        s.soundLostFixPath.assignUtf8("/snd/lost.wav");
        s.soundWarnPath.assignUtf8("/snd/warn.wav");
        s.soundOverPath.assignUtf8("/snd/over.wav");
        s.comPort = 4;
        s.units = 2;
        s.autoConnect = 1;
        s.continuousOverSound = false;
        s.elevationOffset = -15;
        s.sirfSetup = true;
        s.loggingOn = true;
        s.logFilePath.assignUtf8("/home/u/trip.csv");
        s.logFileChosen = true;
        s.selectedLimit = 2;
        s.selectedDisplay = 6;
        s.nightMode = 1;
        s.anyTalker = true;
        s.verifyChecksum = true;
        s.baudRate = 0;
    }
    {
        // Numbers no code path knows still come back as stored.
        Settings& s = cases[1].settings;
        s.speedLimits[0] = INT_MIN;
        s.speedLimits[1] = -1;
        s.speedLimits[2] = INT_MAX;
        s.maxSpeed = -1;
        s.maxElevation = INT_MIN;
        s.soundFixPath.assignUtf8("a");
        s.soundLostFixPath.assignUtf8("b");
        s.soundWarnPath.assignUtf8("c");
        s.soundOverPath.assignUtf8("d");
        s.comPort = 10;
        s.units = 7;
        s.autoConnect = -3;
        s.elevationOffset = INT_MIN;
        s.sirfSetup = true;
        s.selectedLimit = -1;
        s.selectedDisplay = 2;
        s.nightMode = 5;
        s.baudRate = 115200;
    }
    {
        // An emptied sound stays empty; an empty log name is not saved and names no file.
        Settings& s = cases[2].settings;
        s.loggingOn = true;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySettingsStore store;
        NavState nav;
        nav.totalDistanceWhole = c.totalDistance;
        saveRunState(store, c.settings, nav);
        saveOptions(store, c.settings);

        Settings loaded;
        NavState loadedNav;
        loadRunState(store, loaded, loadedNav);
        ASSERT_TRUE(loadOptions(store, loaded, shippedSounds()));
        EXPECT_TRUE(loaded == c.settings);
        EXPECT_EQ(loadedNav.totalDistanceWhole, c.totalDistance);

        // Saved again, the file reads the same: a value that went astray shows here by name.
        MemorySettingsStore again;
        saveRunState(again, loaded, loadedNav);
        saveOptions(again, loaded);
        EXPECT_EQ(again.text(), store.text());
    }
}

// Values added later stay out of a file until chosen, and going back to the default
// overwrites a stored choice rather than leaving it to win at the next start.
TEST(SettingsStore, LaterValuesAreWrittenOnlyOnceChosen) {
    MemorySettingsStore store;
    Settings settings;
    ASSERT_TRUE(loadOptions(store, settings, shippedSounds()));
    EXPECT_EQ(settings.baudRate, 4800);
    EXPECT_FALSE(settings.anyTalker);
    saveOptions(store, settings);
    for (const char* name : {"AnyTalker", "VerifyChecksum", "BaudRate"}) {
        EXPECT_EQ(store.text().find(name), std::string::npos) << name;
    }

    settings.baudRate = 9600;
    settings.anyTalker = true;
    saveOptions(store, settings);
    settings.baudRate = 4800;
    settings.anyTalker = false;
    saveOptions(store, settings);
    Settings loaded;
    ASSERT_TRUE(loadOptions(store, loaded, shippedSounds()));
    EXPECT_EQ(loaded.baudRate, 4800);
    EXPECT_FALSE(loaded.anyTalker);
    EXPECT_EQ(store.text().find("VerifyChecksum"), std::string::npos);
}

} // namespace
} // namespace velocimo
