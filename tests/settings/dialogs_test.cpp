#include "settings/aboutdialog.h"
#include "settings/optionsdialog.h"
#include "settings/persistence.h"
#include "settings/regfilestore.h"
#include "shell/core/portname.h"
#include "trip/readouts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace velocimo {
namespace {

class FakePicker : public FilePicker {
public:
    std::u16string openFile(const FileRequest& request) override {
        requests.push_back(request);
        return answer;
    }
    std::u16string saveFile(const FileRequest&) override { return {}; }
    std::u16string answer;
    std::vector<FileRequest> requests;
};

SoundDefaults testSounds() {
    SoundDefaults s;
    s.fix.assignUtf8("/usr/share/velocimo/sounds/fix.wav");
    s.lostFix.assignUtf8("/usr/share/velocimo/sounds/lostfix.wav");
    s.warn.assignUtf8("/usr/share/velocimo/sounds/warn.wav");
    s.over.assignUtf8("/usr/share/velocimo/sounds/over.wav");
    return s;
}

QString q(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

template <typename T> T* child(QWidget& dialog, const char* name) {
    T* w = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void savePicture(QWidget& widget, const char* name) {
    const QString folder = QStringLiteral(VELOCIMO_BINARY_DIR "/screens");
    QDir().mkpath(folder);
    widget.grab().save(folder + QLatin1Char('/') + QString::fromLatin1(name));
}

// A first start: the options as the load leaves them with an empty store.
class OptionsTest : public ::testing::Test {
protected:
    OptionsTest() {
        loadOptions(store, settings, testSounds());
        buildPortName(portName, settings.comPort);
        updateUnitLabels(nav, settings.units);
    }

    // The program's side of the dialog's signals.
    void wire(OptionsDialog& dialog) {
        QObject::connect(&dialog, &OptionsDialog::soundPlayRequested,
                         [this](const std::u16string& path) { played.push_back(path); });
        QObject::connect(&dialog, &OptionsDialog::unitsChanged, [this] {
            calls.push_back("units");
            updateUnitLabels(nav, settings.units);
        });
        QObject::connect(&dialog, &OptionsDialog::portChanged, [this] {
            calls.push_back("port");
            buildPortName(portName, settings.comPort);
        });
        QObject::connect(&dialog, &OptionsDialog::saveRequested, [this] {
            calls.push_back("save");
            saveOptions(store, settings);
        });
    }

    Settings reloaded() {
        Settings s;
        loadOptions(store, s, testSounds());
        return s;
    }

    MemorySettingsStore store;
    Settings settings;
    NavState nav;
    PortNameText portName;
    FakePicker picker;
    std::vector<std::u16string> played;
    std::vector<std::string> calls;
};

TEST_F(OptionsTest, FirstOpenShowsTheDefaults) {
    OptionsDialog dialog(settings, picker);
    wire(dialog);
    dialog.show();
    savePicture(dialog, "options.png");
    const std::pair<const char*, const char*> edits[] = {
        {"edit1001", "50"},  {"edit1002", "80"}, {"edit1003", "100"}, {"edit1007", "120"},
        {"edit1008", "500"}, {"edit1011", "0"},  {"edit1006", ""},
    };
    for (const auto& [name, text] : edits) {
        EXPECT_EQ(child<QLineEdit>(dialog, name)->text(), QString::fromLatin1(text)) << name;
    }
    auto* ports = child<QComboBox>(dialog, "combo1012");
    ASSERT_EQ(ports->count(), 10);
    EXPECT_EQ(ports->itemText(0), "COM0:");
    EXPECT_EQ(ports->itemText(9), "COM9:");
    EXPECT_EQ(ports->currentText(), "COM1:");
    auto* units = child<QComboBox>(dialog, "combo1005");
    EXPECT_EQ(units->count(), 3);
    EXPECT_EQ(units->currentText(), "km/h");
    auto* sounds = child<QComboBox>(dialog, "combo1018");
    ASSERT_EQ(sounds->count(), 4);
    EXPECT_EQ(sounds->itemText(1), "Fix Lost");
    EXPECT_EQ(sounds->currentIndex(), -1);
    EXPECT_FALSE(child<QCheckBox>(dialog, "check1023")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(dialog, "check1024")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(dialog, "check1026")->isChecked());
    EXPECT_EQ(child<QCheckBox>(dialog, "check1024")->text(), "Repeat sound when over limit");
    EXPECT_EQ(dialog.windowTitle(), "Options");
    EXPECT_LE(dialog.width(), 240);
}

TEST_F(OptionsTest, OkStoresEveryFieldAndSavesCancelChangesNothing) {
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        const std::string before = store.text();
        calls.clear();
        OptionsDialog dialog(settings, picker);
        wire(dialog);
        const std::pair<const char*, const char*> edits[] = {
            {"edit1001", "30"}, {"edit1002", ""},  {"edit1003", "130"},
            {"edit1007", "0"},  {"edit1008", "0"}, {"edit1011", "25"},
        };
        for (const auto& [name, text] : edits) {
            child<QLineEdit>(dialog, name)->setText(QString::fromLatin1(text));
        }
        child<QComboBox>(dialog, "combo1012")->setCurrentIndex(4);
        child<QComboBox>(dialog, "combo1005")->setCurrentIndex(2);
        child<QCheckBox>(dialog, "check1023")->setChecked(true);
        child<QCheckBox>(dialog, "check1024")->setChecked(false);
        child<QCheckBox>(dialog, "check1026")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(dialog, ok ? "button1" : "button2"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        if (!ok) {
            EXPECT_TRUE(calls.empty());
            EXPECT_EQ(store.text(), before);
            EXPECT_EQ(settings.speedLimits[1], 80);
            EXPECT_EQ(settings.units, 1);
            continue;
        }
        EXPECT_EQ(calls, (std::vector<std::string>{"units", "port", "save"}));
        for (const Settings& s : {settings, reloaded()}) {
            EXPECT_EQ(s.speedLimits[0], 30);
            EXPECT_EQ(s.speedLimits[1], 0); // a cleared limit stores 0
            EXPECT_EQ(s.speedLimits[2], 130);
            EXPECT_EQ(s.maxSpeed, 0); // accepted: the dashboard guards its scale
            EXPECT_EQ(s.maxElevation, 0);
            EXPECT_EQ(s.elevationOffset, 25);
            EXPECT_EQ(s.comPort, 4);
            EXPECT_EQ(s.units, 2);
            EXPECT_EQ(s.autoConnect, 1);
            EXPECT_FALSE(s.continuousOverSound);
            EXPECT_TRUE(s.sirfSetup);
        }
        // "mph" relabels at once; the limits keep their numbers.
        EXPECT_EQ(nav.speedUnitText, u"mph");
        EXPECT_EQ(nav.distanceUnitText, u"mi");
        EXPECT_EQ(portName, u"COM4:");
    }
}

TEST_F(OptionsTest, NumberEditsTakeDigitsOnly) {
    OptionsDialog dialog(settings, picker);
    wire(dialog);
    auto* edit = child<QLineEdit>(dialog, "edit1001");
    edit->clear();
    QTest::keyClicks(edit, "-1a2.3 4");
    EXPECT_EQ(edit->text(), "1234");
    edit->clear();
    QTest::keyClicks(edit, "99999999999999");
    EXPECT_EQ(edit->text(), "999999999"); // fits the field: no wrap to a negative limit
    dialog.accept();
    EXPECT_EQ(settings.speedLimits[0], 999999999);
}

TEST_F(OptionsTest, ListsWithoutASelectionKeepTheStoredValue) {
    struct Case {
        int32_t comPort;
        int32_t units;
        int portIndex;
        int unitIndex;
    };
    const Case cases[] = {{12, 7, -1, -1}, {-1, -2, -1, -1}, {9, 0, 9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comPort);
        settings.comPort = c.comPort;
        settings.units = c.units;
        OptionsDialog dialog(settings, picker);
        wire(dialog);
        EXPECT_EQ(child<QComboBox>(dialog, "combo1012")->currentIndex(), c.portIndex);
        EXPECT_EQ(child<QComboBox>(dialog, "combo1005")->currentIndex(), c.unitIndex);
        dialog.accept();
        EXPECT_EQ(settings.comPort, c.comPort);
        EXPECT_EQ(settings.units, c.units);
        EXPECT_EQ(reloaded().comPort, c.comPort);
    }
}

TEST_F(OptionsTest, AutoConnectTicksOnlyForOneAndStoresOneOrZero) {
    const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {1, 1}, {2, 0}, {-1, 0}};
    for (const auto& [stored, after] : cases) {
        settings.autoConnect = stored;
        OptionsDialog dialog(settings, picker);
        wire(dialog);
        EXPECT_EQ(child<QCheckBox>(dialog, "check1023")->isChecked(), stored == 1);
        dialog.accept();
        EXPECT_EQ(settings.autoConnect, after) << stored;
    }
}

TEST_F(OptionsTest, SoundListShowsPlaysAndPicks) {
    OptionsDialog dialog(settings, picker);
    wire(dialog);
    auto* sounds = child<QComboBox>(dialog, "combo1018");
    auto* path = child<QLineEdit>(dialog, "edit1006");
    auto* play = child<QPushButton>(dialog, "button1010");
    auto* pick = child<QPushButton>(dialog, "button1009");

    // Nothing selected: neither button does anything.
    QTest::mouseClick(play, Qt::LeftButton);
    QTest::mouseClick(pick, Qt::LeftButton);
    EXPECT_TRUE(played.empty());
    EXPECT_TRUE(picker.requests.empty());

    const std::pair<int, const PathText*> soundSlots[] = {{0, &settings.soundFixPath},
                                                          {1, &settings.soundLostFixPath},
                                                          {2, &settings.soundWarnPath},
                                                          {3, &settings.soundOverPath}};
    for (const auto& [slot, field] : soundSlots) {
        sounds->setCurrentIndex(slot);
        EXPECT_EQ(path->text(), q(field->view())) << slot;
    }
    sounds->setCurrentIndex(1);
    EXPECT_EQ(path->text(), "/usr/share/velocimo/sounds/lostfix.wav");
    // The stored path plays, whatever the edit shows.
    path->setText("/elsewhere.wav");
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0], u"/usr/share/velocimo/sounds/lostfix.wav");

    // "..." cancelled, then a path too long for the field: nothing changes.
    sounds->setCurrentIndex(2);
    picker.answer = u"";
    QTest::mouseClick(pick, Qt::LeftButton);
    picker.answer = u"/" + std::u16string(300, u'x') + u".wav";
    QTest::mouseClick(pick, Qt::LeftButton);
    EXPECT_EQ(settings.soundWarnPath, u"/usr/share/velocimo/sounds/warn.wav");
    ASSERT_EQ(picker.requests.size(), 2u);
    EXPECT_EQ(picker.requests[0].title, u"Sound");
    EXPECT_EQ(picker.requests[0].filterName, u"WAV Files (*.wav)");
    EXPECT_EQ(picker.requests[0].filterPattern, u"*.wav");

    // A picked file is in force at once and stays after Cancel.
    picker.answer = u"/home/me/bell.wav";
    QTest::mouseClick(pick, Qt::LeftButton);
    EXPECT_EQ(path->text(), "/home/me/bell.wav");
    QTest::mouseClick(child<QPushButton>(dialog, "button2"), Qt::LeftButton);
    EXPECT_EQ(settings.soundWarnPath, u"/home/me/bell.wav");
    EXPECT_TRUE(calls.empty());
    saveOptions(store, settings);
    EXPECT_EQ(reloaded().soundWarnPath, u"/home/me/bell.wav");
}

TEST(AboutDialog, ShowsNameAndAScrollableReadOnlyDisclaimer) {
    AboutDialog dialog(QIcon{});
    dialog.show();
    savePicture(dialog, "about.png");
    EXPECT_EQ(dialog.windowTitle(), "About");
    EXPECT_EQ(child<QLabel>(dialog, "labelName")->text(), "Velocimo 1.1");
    auto* text = child<QPlainTextEdit>(dialog, "edit1018");
    EXPECT_TRUE(text->isReadOnly());
    const QStringList paragraphs = text->toPlainText().split("\n\n");
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs[0].contains("accura"));
    EXPECT_TRUE(paragraphs[1].contains("own risk"));
    EXPECT_TRUE(paragraphs[1].contains("safety-of-life"));
    EXPECT_TRUE(paragraphs[2].contains("consequential"));
    EXPECT_TRUE(paragraphs[2].contains("incidental"));
    // Typing changes nothing.
    const QString before = text->toPlainText();
    QTest::keyClicks(text, "xyz");
    EXPECT_EQ(text->toPlainText(), before);

    // Escape does not close it; OK does, with 1.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(child<QPushButton>(dialog, "button1"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
