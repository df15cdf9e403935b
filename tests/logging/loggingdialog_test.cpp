#include "logging/loggingdialog.h"
#include "settings/persistence.h"
#include "settings/regfilestore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

namespace velocimo {
namespace {

// Registry value and box of each flag, in column order.
struct Column {
    const char16_t* value;
    const char* box;
    const char* label;
};
const Column kColumns[] = {
    {u"Position_DEC", "check1026", "Position (DDD.DDDDDD)"},
    {u"Position_DMM", "check1027", "Position (DDDMM.MMMMM)"},
    {u"Elevation", "check1028", "Elevation"},
    {u"SpeedCurrent", "check1029", "Speed (Current)"},
    {u"SpeedAverage", "check1030", "Speed (Average)"},
    {u"DistanceTrip", "check1032", "Distance (Trip)"},
    {u"DistanceTotal", "check1033", "Distance (Total)"},
    {u"Satellites", "check1034", "Satellites"},
    {u"HDOP", "check1035", "HDOP"},
};

QCheckBox* box(QWidget& dialog, const char* name) {
    auto* b = dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

// A check box takes a click on its indicator or its text only, not on the empty rest of a
// box the layout has stretched: click where the user would.
void clickIndicator(QCheckBox* box) {
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// The stored value, or -1 when there is none.
int64_t stored(SettingsStore& store, const char16_t* name) {
    auto key = store.openKey(kLogKeyPath);
    uint32_t value = 0;
    return key && key->readDword(name, value) ? static_cast<int64_t>(value) : -1;
}

class LoggingDialogTest : public ::testing::Test {
protected:
    LoggingDialogTest() { loadLogFields(store, fields); }
    MemorySettingsStore store;
    LogFieldSet fields;
    int saves = 0;
    // The program's side of the dialog's signal.
    void wire(LoggingDialog& dialog) {
        QObject::connect(&dialog, &LoggingDialog::saveRequested, [this] {
            ++saves;
            saveLogFields(store, fields);
        });
    }
};

TEST_F(LoggingDialogTest, FirstStartTicksNothingAndListsTheColumnsInOrder) {
    LoggingDialog dialog(fields);
    wire(dialog);
    dialog.show();
    QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
    dialog.grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/logging.png"));
    EXPECT_EQ(dialog.windowTitle(), "Logging");
    auto* group = dialog.findChild<QGroupBox*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), "CSV Fields");
    int lastY = -1;
    for (const Column& c : kColumns) {
        QCheckBox* b = box(dialog, c.box);
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->isChecked()) << c.box;
        EXPECT_EQ(b->text(), QString::fromLatin1(c.label));
        EXPECT_GT(b->y(), lastY) << c.box;
        EXPECT_TRUE(group->geometry().contains(b->geometry())) << c.box;
        lastY = b->y();
        EXPECT_EQ(stored(store, c.value), 0);
    }
    EXPECT_LE(dialog.width(), 240);
}

TEST_F(LoggingDialogTest, OkStoresTheTicksCancelLeavesBothAlone) {
    {
        LoggingDialog dialog(fields);
        wire(dialog);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        clickIndicator(box(dialog, "check1035"));
        clickIndicator(box(dialog, "check1034"));
        QTest::mouseClick(dialog.findChild<QPushButton*>("button1"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), 1);
    }
    EXPECT_EQ(saves, 1);
    for (const Column& c : kColumns) {
        const bool on = std::u16string_view(c.value) == u"HDOP" ||
                        std::u16string_view(c.value) == u"Satellites";
        EXPECT_EQ(stored(store, c.value), on ? 1 : 0) << c.box;
    }
    EXPECT_TRUE(fields.logHdop);
    EXPECT_TRUE(fields.logSatellites);
    EXPECT_FALSE(fields.logPositionDec);

    const std::string before = store.text();
    {
        LoggingDialog dialog(fields);
        wire(dialog);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_TRUE(box(dialog, "check1035")->isChecked());
        for (const Column& c : kColumns) {
            clickIndicator(box(dialog, c.box));
        }
        QTest::mouseClick(dialog.findChild<QPushButton*>("button2"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(store.text(), before);
    EXPECT_TRUE(fields.logHdop);
    EXPECT_TRUE(fields.logSatellites);
    EXPECT_FALSE(fields.logElevation);
}

// The two boxes below the group: unticked with the values absent, and OK stores the choice
// in the main key while the file without them stays without them.
TEST_F(LoggingDialogTest, TrackAndRecordingBoxesBelowTheGroup) {
    struct Case {
        bool track;
        bool raw;
        int64_t storedTrack;
        int64_t storedRaw;
    };
    const Case cases[] = {
        {false, false, -1, -1}, {true, false, 1, -1}, {false, true, -1, 1}, {true, true, 1, 1}};
    for (const Case& c : cases) {
        MemorySettingsStore options;
        Settings settings;
        LoggingDialog dialog(fields, settings, nullptr);
        QObject::connect(&dialog, &LoggingDialog::saveRequested,
                         [&] { velocimo::saveOptions(options, settings); });
        dialog.show();
        QCheckBox* track = box(dialog, "checkTrackLog");
        QCheckBox* raw = box(dialog, "checkRawLog");
        ASSERT_TRUE(track && raw);
        EXPECT_EQ(track->text(), "Also write a GPX track");
        EXPECT_EQ(raw->text(), "Also record the receiver's sentences");
        EXPECT_FALSE(track->isChecked());
        auto* group = dialog.findChild<QGroupBox*>();
        EXPECT_GE(track->y(), group->geometry().bottom());
        EXPECT_GT(raw->y(), track->y());
        EXPECT_TRUE(dialog.rect().contains(raw->geometry()));
        if (c.track) {
            clickIndicator(track);
        }
        if (c.raw) {
            clickIndicator(raw);
        }
        if (c.track && c.raw) {
            dialog.grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/logging-track.png"));
        }
        dialog.accept();
        EXPECT_EQ(settings.trackLog, c.track);
        EXPECT_EQ(settings.rawLog, c.raw);
        auto key = options.openKey(kSettingsKeyPath);
        uint32_t value = 0;
        EXPECT_EQ(key->readDword(u"TrackLog", value) ? int64_t(value) : -1, c.storedTrack);
        EXPECT_EQ(key->readDword(u"RawLog", value) ? int64_t(value) : -1, c.storedRaw);
    }
    // Without the settings (the CSV columns alone) the boxes stay out of sight.
    LoggingDialog plain(fields);
    plain.show();
    EXPECT_FALSE(box(plain, "checkTrackLog")->isVisible());
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
