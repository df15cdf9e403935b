#include "logging/logfields.h"
#include "settings/regfilestore.h"
#include "tests/support/storetestutil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace velocimo {
namespace {

using testutil::ConfigFolder;

constexpr const char* kLogHead = "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo\\Log]\r\n";

constexpr const char* kNames[] = {"Position_DEC",  "Position_DMM", "Elevation",
                                  "SpeedCurrent",  "SpeedAverage", "DistanceTrip",
                                  "DistanceTotal", "Satellites",   "HDOP"};

bool LogFieldSet::*const kFlags[] = {
    &LogFieldSet::logPositionDec,   &LogFieldSet::logPositionDmm,  &LogFieldSet::logElevation,
    &LogFieldSet::logSpeedCurrent,  &LogFieldSet::logSpeedAverage, &LogFieldSet::logDistanceTrip,
    &LogFieldSet::logDistanceTotal, &LogFieldSet::logSatellites,   &LogFieldSet::logHdop};

TEST(LogFields, FirstStartStoresAllNineOff) {
    ConfigFolder cfg;
    RegFileStore store;
    LogFieldSet fields;
    fields.logHdop = true; // a load replaces whatever was in memory
    loadLogFields(store, fields);
    const std::string text = cfg.read();
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(fields.*kFlags[i]) << kNames[i];
        EXPECT_NE(text.find(std::string("\"") + kNames[i] + "\"=dword:00000000\r\n"),
                  std::string::npos)
            << kNames[i];
    }
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo\\Log]"),
              std::string::npos);
}

TEST(LogFields, EachFlagReadsOnlyItsOwnValue) {
    const struct {
        const char* stored;
        bool on;
    } forms[] = {{"dword:00000101", true},
                 {"dword:00000001", true},
                 {"dword:00000002", false},
                 {"dword:00000100", false}};
    for (int i = 0; i < 9; ++i) {
        for (const auto& f : forms) {
            SCOPED_TRACE(std::string(kNames[i]) + " " + f.stored);
            ConfigFolder cfg;
            cfg.write(std::string(kLogHead) + "\"" + kNames[i] + "\"=" + f.stored + "\r\n");
            RegFileStore store;
            LogFieldSet fields;
            loadLogFields(store, fields);
            for (int k = 0; k < 9; ++k) {
                EXPECT_EQ(fields.*kFlags[k], k == i && f.on) << kNames[k];
            }
        }
    }
}

TEST(LogFields, SaveWritesEveryFlagInOrder) {
    ConfigFolder cfg;
    RegFileStore store;
    LogFieldSet fields;
    fields.logSatellites = true;
    fields.logHdop = true;
    saveLogFields(store, fields);
    const std::string text = cfg.read();
    std::size_t last = 0;
    for (int i = 0; i < 9; ++i) {
        const std::string line = std::string("\"") + kNames[i] + "\"=dword:0000000" +
                                 (fields.*kFlags[i] ? "1" : "0") + "\r\n";
        const std::size_t at = text.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        EXPECT_GT(at, last);
        last = at;
    }
    LogFieldSet again;
    loadLogFields(store, again);
    EXPECT_TRUE(again.logSatellites && again.logHdop && !again.logPositionDec);
}

// Every name in the table is a key somewhere, so none may repeat; a field fills as many
// columns as its header names, and its check box is in the dialog with the same text.
TEST(LogFieldTable, NamesUniqueColumnsMatchAndBoxesExist) {
    std::ifstream in(VELOCIMO_SOURCE_DIR "/resources/ui/loggingdialog.ui");
    const std::string ui(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(ui.empty());
    std::set<std::u16string_view> names, texts;
    std::set<std::string_view> columns;
    std::set<int> ids;
    for (const LogFieldInfo& field : logFields()) {
        SCOPED_TRACE(toUtf8(field.registryName));
        EXPECT_TRUE(names.insert(field.registryName).second);
        EXPECT_TRUE(texts.insert(field.checkBoxText).second);
        EXPECT_TRUE(ids.insert(field.controlId).second);
        std::string_view header = field.csvHeader;
        int count = 1;
        for (std::size_t comma; (comma = header.find(',')) != header.npos; ++count) {
            EXPECT_TRUE(columns.insert(header.substr(0, comma)).second);
            header.remove_prefix(comma + 1);
        }
        EXPECT_TRUE(columns.insert(header).second);
        EXPECT_EQ(count, field.columns);

        const std::string box = "name=\"check" + std::to_string(field.controlId) + "\"";
        const std::size_t at = ui.find(box);
        ASSERT_NE(at, std::string::npos) << box;
        const std::size_t end = ui.find('\n', at);
        EXPECT_NE(ui.substr(at, end - at).find("<string>" + toUtf8(field.checkBoxText) + "<"),
                  std::string::npos);
    }
    EXPECT_EQ(names.size(), 9u);
    EXPECT_EQ(columns.size(), 11u);
}

} // namespace
} // namespace velocimo
