#include "logging/logflows.h"
#include "logtestutil.h"

#include <gtest/gtest.h>

namespace velocimo {
namespace {

using testutil::FakeClock;
using testutil::FakeMessages;
using testutil::FakePicker;

TEST(CsvCommands, ChooseLogFileFillsTheSaveDialog) {
    FakePicker picker;
    FakeClock clock;
    Settings s;
    picker.answer = u"/data/logs/one.csv";
    ASSERT_TRUE(chooseLogFile(s, picker, clock));
    EXPECT_EQ(s.logFilePath, u"/data/logs/one.csv");
    EXPECT_TRUE(s.logFileChosen);
    EXPECT_FALSE(s.loggingOn);
    const FileRequest& first = picker.requests.at(0);
    EXPECT_EQ(first.title, u"Log");
    EXPECT_EQ(first.filterName, u"CSV Files (*.csv)");
    EXPECT_EQ(first.filterPattern, u"*.csv");
    EXPECT_EQ(first.proposedName, u"VELO_LOG 20050614 093005");
    EXPECT_EQ(first.initialFolder, u"");
    EXPECT_EQ(first.existingFileNote, u"Records are added to the end of an existing file.");

    // "New": the dialog opens in the folder of the current log; cancel changes nothing,
    // nor does a path that would not fit.
    for (const std::u16string& answer : {std::u16string(), std::u16string(300, u'x')}) {
        picker.answer = answer;
        EXPECT_FALSE(chooseLogFile(s, picker, clock));
        EXPECT_EQ(picker.requests.back().initialFolder, u"/data/logs/");
        EXPECT_EQ(s.logFilePath, u"/data/logs/one.csv");
    }
}

TEST(CsvCommands, OnAndOpenAskForAFileOnlyWhenNeeded) {
    enum class Command { Toggle, Ensure };
    struct Case {
        Command command;
        bool on, chosen;
        const char16_t* answer; // what the dialog returns
        bool dialogShown, onAfter, messageShown;
    };
    const Case cases[] = {
        {Command::Toggle, false, true, u"", false, true, false},
        {Command::Toggle, false, false, u"/t/new.csv", true, true, false},
        {Command::Toggle, false, false, u"", true, false, true},
        {Command::Toggle, true, true, u"", false, false, false},
        {Command::Toggle, true, false, u"", false, false, false},
        {Command::Ensure, false, false, u"", false, false, false},
        {Command::Ensure, true, true, u"", false, true, false},
        {Command::Ensure, true, false, u"/t/new.csv", true, true, false},
        {Command::Ensure, true, false, u"", true, false, true},
    };
    for (const Case& c : cases) {
        FakePicker picker;
        FakeClock clock;
        FakeMessages messages;
        picker.answer = c.answer;
        Settings s;
        s.loggingOn = c.on;
        s.logFileChosen = c.chosen;
        if (c.chosen) {
            s.logFilePath.assignUtf8("/t/old.csv");
        }
        if (c.command == Command::Toggle) {
            toggleLogging(s, picker, clock, messages);
        } else {
            ensureLogFile(s, picker, clock, messages);
        }
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(picker.requests.size(), c.dialogShown ? 1u : 0u) << row;
        EXPECT_EQ(s.loggingOn, c.onAfter) << row;
        ASSERT_EQ(messages.shown.size(), c.messageShown ? 1u : 0u) << row;
        if (c.messageShown) {
            EXPECT_EQ(messages.shown[0].text, kNoLogFileMessage);
            EXPECT_EQ(messages.shown[0].caption, u"Velocimo");
            EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
            EXPECT_TRUE(messages.shown[0].topmost);
        }
        EXPECT_EQ(s.logFileChosen, c.chosen || c.answer[0] != 0) << row;
    }
}

} // namespace
} // namespace velocimo
