#include "logging/gpxfile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velocimo {
namespace {

namespace fs = std::filesystem;

const std::string kSchema = std::string(VELOCIMO_TEST_DATA) + "/gpx/gpx.xsd";

// In one block: read a character at a time, an unoptimised sanitizer build reads slower than the
// SIGKILL test's writer appends, and the wait for its points never ends.
std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    status = ::pclose(pipe);
    return out;
}

// xmllint against the GPX 1.1 schema, and gpsbabel reading every point.
void expectReadable(const fs::path& file, std::size_t points) {
    int status = 0;
    const std::string lint =
        run("xmllint --noout --schema '" + kSchema + "' '" + file.string() + "' 2>&1", status);
    EXPECT_EQ(status, 0) << lint;
    const std::string csv =
        run("gpsbabel -i gpx -f '" + file.string() + "' -o csv -F - 2>&1", status);
    EXPECT_EQ(status, 0) << csv;
    EXPECT_EQ(count(csv, "\n"), points) << csv;
}

NavState fixAt(double seconds) {
    NavState nav;
    nav.fixValid = true;
    nav.latitude.decimalDegrees = 48.1 + seconds * 1e-5;
    nav.longitude.decimalDegrees = -11.6;
    nav.utcDate = 140605;
    nav.utcTime = 93000 + seconds;
    nav.elevationUnitText.assignUtf8("M");
    nav.elevation = 500;
    nav.speedKnots = 20;
    return nav;
}

class GpxFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velocimo-gpx-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_settings.logFilePath.assign((m_dir / "trip.csv").u16string());
        m_gpx = m_dir / "trip.gpx";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    fs::path m_gpx;
    Settings m_settings;
    GpxTrack m_track;
};

TEST_F(GpxFile, ADriveIsAValidDocumentAfterEveryPoint) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(i)));
        expectReadable(m_gpx, static_cast<std::size_t>(i) + 1);
    }
    const std::string text = readFile(m_gpx);
    EXPECT_EQ(count(text, "<trkseg>"), 1u);
    EXPECT_EQ(count(text, "</gpx>"), 1u);
}

TEST_F(GpxFile, AFixLossStartsASecondSegment) {
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(0)));
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(1)));
    NavState lost = fixAt(2);
    lost.fixValid = false;
    EXPECT_FALSE(appendGpxPoint(m_settings, m_track, lost));
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(3)));
    const std::string text = readFile(m_gpx);
    EXPECT_EQ(count(text, "<trkseg>"), 2u) << text;
    EXPECT_EQ(count(text, "<trkpt"), 3u);
    expectReadable(m_gpx, 3);
}

TEST_F(GpxFile, AnotherRunAppendsANewSegmentToTheSameTrack) {
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(0)));
    GpxTrack again;
    ASSERT_TRUE(appendGpxPoint(m_settings, again, fixAt(1)));
    const std::string text = readFile(m_gpx);
    EXPECT_EQ(count(text, "<trk>"), 1u);
    EXPECT_EQ(count(text, "<trkseg>"), 2u);
    expectReadable(m_gpx, 2);
}

TEST_F(GpxFile, AFileNotEndingInOurClosingTagsIsLeftAlone) {
    { std::ofstream(m_gpx) << "<gpx>something else</gpx>"; }
    EXPECT_FALSE(appendGpxPoint(m_settings, m_track, fixAt(0)));
    EXPECT_EQ(readFile(m_gpx), "<gpx>something else</gpx>");
}

TEST_F(GpxFile, ALockedFileIsNotTouched) {
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(0)));
    const std::string before = readFile(m_gpx);
    const int fd = ::open(m_gpx.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(appendGpxPoint(m_settings, m_track, fixAt(1)));
    ::close(fd);
    EXPECT_EQ(readFile(m_gpx), before);
}

TEST_F(GpxFile, AFullDiskKeepsThePreviousDocument) {
    ASSERT_TRUE(appendGpxPoint(m_settings, m_track, fixAt(0)));
    const std::string before = readFile(m_gpx);
    // Grow no further than the file is now: the next point cannot fit.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        GpxTrack track = m_track;
        ::_exit(appendGpxPoint(m_settings, track, fixAt(1)) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(m_gpx), before);
}

TEST_F(GpxFile, SigkillInTheMiddleOfADriveLeavesAValidDocument) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        GpxTrack track;
        // Bounded, so a slow parent (a sanitizer build) never has a huge file to check.
        for (int i = 0; i < 20000; ++i) {
            appendGpxPoint(m_settings, track, fixAt(i));
        }
        for (;;) {
            ::pause();
        }
    }
    // Until a few hundred points are down (a point takes about 230 bytes), then without
    // warning. The size is watched, not the text, so the kill comes early.
    const auto written = [&] {
        std::error_code error;
        const auto size = fs::file_size(m_gpx, error);
        return error ? 0 : size;
    };
    for (int i = 0; i < 100000 && written() < 300 * 200; ++i) {
        ::usleep(100);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string text = readFile(m_gpx);
    ASSERT_TRUE(text.ends_with(gpxClosingTags()));
    expectReadable(m_gpx, count(text, "<trkpt"));
}

} // namespace
} // namespace velocimo
