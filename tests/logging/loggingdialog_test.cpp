#include "logging/loggingdialog.h"
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

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
