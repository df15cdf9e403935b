#include "gpslink/receiverdialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velocimo;

namespace {

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/velocimo-receiver-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_root = name;
        ::mkdir((m_root + "/dev").c_str(), 0755);
        ::mkdir((m_root + "/proc").c_str(), 0755);
        for (const char* dev : {"ttyUSB0", "ttyACM0"}) {
            ::close(::creat((m_root + "/dev/" + dev).c_str(), 0600));
        }
        m_env.root = m_root;
        // Root passes any permission check: the device without access is declared here.
        m_env.accessError = [this](const std::string& path) {
            return path == m_root + "/dev/ttyUSB0" ? EACCES : 0;
        };
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    std::string m_root;
    ProbeEnvironment m_env;
};

TEST_F(Dialog, ShowsTheDialoutHintForADeviceWithoutPermission) {
    ReceiverDialog dialog(QStringLiteral("COM1:"), {"/dev/ttyUSB0", 4800, false, false}, m_env);
    EXPECT_TRUE(dialog.problemText().contains(QStringLiteral("sudo adduser $USER dialout")))
        << dialog.problemText().toStdString();
    if (const char* dir = std::getenv("VELOCIMO_RENDER_DIR")) {
        dialog.adjustSize();
        dialog.grab().save(QString::fromUtf8(dir) + QStringLiteral("/receiver-dialog.png"));
    }
    auto* source = dialog.findChild<QComboBox*>(QStringLiteral("source"));
    source->setCurrentIndex(source->findData(QStringLiteral("/dev/ttyACM0")));
    EXPECT_EQ(dialog.problemText(), QString());
    EXPECT_EQ(dialog.choice(), (ReceiverChoice{"/dev/ttyACM0", 4800, false, false}));
}

TEST_F(Dialog, KeepsAMissingDeviceAndReadsBackEveryKindOfSource) {
    struct Case {
        ReceiverChoice current;
        const char* problemStart;
    };
    const Case cases[] = {
        {{"/dev/ttyUSB5", 0, true, true}, "not present"},
        {{"gpsd://localhost:2947", 9600, true, false}, ""},
        {{"gpsd://192.0.2.1:2950", 115200, false, true}, ""},
        {{"tcp://127.0.0.1:1", 230400, false, false}, "connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current.source);
        ReceiverDialog dialog(QStringLiteral("COM1:"), c.current, m_env);
        // OK without a change hands back what was there.
        EXPECT_EQ(dialog.choice(), c.current);
        if (*c.problemStart) {
            EXPECT_TRUE(dialog.problemText().startsWith(QString::fromUtf8(c.problemStart)))
                << dialog.problemText().toStdString();
        }
    }
}

TEST_F(Dialog, NetworkEntryComesFromHostAndPort) {
    ReceiverDialog dialog(QStringLiteral("COM3:"), {"/dev/ttyACM0", 4800, false, false}, m_env);
    auto* source = dialog.findChild<QComboBox*>(QStringLiteral("source"));
    source->setCurrentIndex(source->findData(QStringLiteral("tcp:")));
    EXPECT_EQ(dialog.problemText(), QStringLiteral("enter the address of the phone or server"));
    dialog.findChild<QLineEdit*>(QStringLiteral("host"))->setText(QStringLiteral("192.168.4.2"));
    dialog.findChild<QSpinBox*>(QStringLiteral("tcpPort"))->setValue(10110);
    auto* baud = dialog.findChild<QComboBox*>(QStringLiteral("baudRate"));
    baud->setCurrentIndex(baud->findText(QStringLiteral("Automatic")));
    EXPECT_EQ(dialog.choice(), (ReceiverChoice{"tcp://192.168.4.2:10110", 0, false, false}));
    if (const char* dir = std::getenv("VELOCIMO_RENDER_DIR")) {
        dialog.adjustSize();
        dialog.grab().save(QString::fromUtf8(dir) + QStringLiteral("/receiver-dialog-tcp.png"));
    }
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
