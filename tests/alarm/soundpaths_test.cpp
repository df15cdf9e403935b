#include "alarm/soundpaths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace velocimo {
namespace {

namespace fs = std::filesystem;

class SoundPaths : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velocimo-sounds-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_root = tmpl;
    }
    void TearDown() override { fs::remove_all(m_root); }
    void makeSounds(const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / kFixSoundFile) << "x";
    }
    fs::path m_root;
};

TEST_F(SoundPaths, FindsTheFirstFolderHoldingTheSounds) {
    struct Case {
        const char* exeDir;
        const char* soundsAt; // relative to the root; null: nowhere
        const char* expected; // folder of the result, relative to the root
    };
    const Case cases[] = {
        {"prefix/bin", "prefix/share/velocimo/sounds", "prefix/share/velocimo/sounds"},
        {"build/tests/alarm", "build/share/velocimo/sounds", "build/share/velocimo/sounds"},
        {"build/tests/alarm", nullptr, "build/tests/share/velocimo/sounds"},
    };
    for (const Case& c : cases) {
        fs::remove_all(m_root);
        fs::create_directories(m_root / c.exeDir);
        if (c.soundsAt != nullptr) {
            makeSounds(m_root / c.soundsAt);
        }
        const SoundDefaults d = defaultSoundPaths((m_root / c.exeDir).string());
        const fs::path folder = m_root / c.expected;
        EXPECT_EQ(d.fix.toUtf8(), (folder / "fix.wav").string()) << c.exeDir;
        EXPECT_EQ(d.lostFix.toUtf8(), (folder / "lostfix.wav").string());
        EXPECT_EQ(d.warn.toUtf8(), (folder / "warn.wav").string());
        EXPECT_EQ(d.over.toUtf8(), (folder / "over.wav").string());
    }
}

TEST_F(SoundPaths, NeverReturnsAPathCutShort) {
    const fs::path deep = m_root / std::string(200, 'd') / "bin";
    makeSounds(deep / ".." / "share" / "velocimo" / "sounds");
    const SoundDefaults d = defaultSoundPaths(deep.string());
    for (const PathText* p : {&d.fix, &d.lostFix, &d.warn, &d.over}) {
        EXPECT_EQ(p->toUtf8().find(std::string(200, 'd')), std::string::npos);
    }
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t le(const std::string& s, std::size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

// The program in build/bin finds the build-tree copy, and every file is what QSoundEffect
// plays: 16-bit PCM, short, and each one different.
TEST(ShippedSounds, BuildTreeCopiesArePlayablePcm) {
    const SoundDefaults d = defaultSoundPaths(VELOCIMO_BINARY_DIR "/bin");
    std::set<std::string> contents;
    for (const PathText* p : {&d.fix, &d.lostFix, &d.warn, &d.over}) {
        const std::string path = p->toUtf8();
        EXPECT_EQ(path.rfind(fs::path(VELOCIMO_BINARY_DIR).lexically_normal().string(), 0), 0u)
            << path;
        const std::string wav = readFile(path);
        ASSERT_GE(wav.size(), 44u) << path;
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le(wav, 20, 2), 1u) << "PCM";
        EXPECT_EQ(le(wav, 34, 2), 16u) << "bits";
        const double seconds = double(le(wav, 40, 4)) / le(wav, 28, 4);
        EXPECT_GT(seconds, 0.1);
        EXPECT_LT(seconds, 1.0);
        contents.insert(wav);
    }
    EXPECT_EQ(contents.size(), 4u);
}

} // namespace
} // namespace velocimo
