#include "shell/singleinstance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace velocimo {
namespace {

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/velocimo-si-XXXXXX";
        m_path = ::mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST(ControlDirectory, FollowsTheRuntimeFolderElseTmp) {
    EXPECT_EQ(controlDirectory("/run/user/1000", 1000), "/run/user/1000/velocimo");
    EXPECT_EQ(controlDirectory(nullptr, 1000), "/tmp/velocimo-1000");
    EXPECT_EQ(controlDirectory("", 42), "/tmp/velocimo-42");
    EXPECT_EQ(controlSocketPath("/run/user/7/velocimo"), "/run/user/7/velocimo/control");
}

TEST(PrivateDirectory, CreatesPrivateAndRefusesAnythingElse) {
    TempDir tmp;
    std::string error;
    const std::string fresh = tmp.path() + "/fresh";
    ASSERT_TRUE(preparePrivateDirectory(fresh, ::getuid(), error)) << error;
    struct stat info;
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // A second start finds it in place.
    EXPECT_TRUE(preparePrivateDirectory(fresh, ::getuid(), error)) << error;

    const std::string open = tmp.path() + "/open";
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    const std::string file = tmp.path() + "/file";
    ASSERT_EQ(std::system(("touch '" + file + "'").c_str()), 0);
    const std::string link = tmp.path() + "/link";
    ASSERT_EQ(::symlink(fresh.c_str(), link.c_str()), 0);

    struct Case {
        std::string path;
        uid_t uid;
    };
    const Case refused[] = {
        {open, ::getuid()},
        {file, ::getuid()},
        {link, ::getuid()},
        {fresh, ::getuid() + 1},
        {tmp.path() + "/missing/deeper", ::getuid()},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.path);
        error.clear();
        EXPECT_FALSE(preparePrivateDirectory(c.path, c.uid, error));
        EXPECT_FALSE(error.empty());
    }
}

std::string readAll(int listenFd) {
    const int client = ::accept(listenFd, nullptr, nullptr);
    if (client < 0) {
        return "<no client>";
    }
    std::string text;
    char buffer[64];
    ssize_t n;
    while ((n = ::read(client, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(client);
    return text;
}

TEST(ClaimInstance, FirstListensSecondActivatesIt) {
    TempDir tmp;
    const std::string path = tmp.path() + "/control";
    InstanceClaim first = claimInstance(path);
    ASSERT_EQ(first.role, InstanceRole::Primary) << first.error;
    ASSERT_GE(first.listenFd, 0);

    InstanceClaim second = claimInstance(path);
    EXPECT_EQ(second.role, InstanceRole::Secondary);
    EXPECT_EQ(second.listenFd, -1);
    EXPECT_EQ(readAll(first.listenFd), "activate\n");

    EXPECT_TRUE(sendControlLine(path, "1023"));
    EXPECT_EQ(readAll(first.listenFd), "1023\n");
    EXPECT_TRUE(sendControlLine(path, "1023\n"));
    EXPECT_EQ(readAll(first.listenFd), "1023\n");
    ::close(first.listenFd);
}

TEST(ClaimInstance, StaleSocketIsReplacedOtherFilesAreNot) {
    TempDir tmp;
    const std::string path = tmp.path() + "/control";
    // A socket file nobody listens on, as a crashed run leaves it.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    EXPECT_FALSE(sendControlLine(path, "activate"));
    InstanceClaim claim = claimInstance(path);
    ASSERT_EQ(claim.role, InstanceRole::Primary) << claim.error;
    EXPECT_TRUE(sendControlLine(path, "activate"));
    ::close(claim.listenFd);

    const std::string plain = tmp.path() + "/plain";
    ASSERT_EQ(std::system(("echo keep > '" + plain + "'").c_str()), 0);
    InstanceClaim refused = claimInstance(plain);
    EXPECT_EQ(refused.role, InstanceRole::Failed);
    struct stat info;
    EXPECT_EQ(::stat(plain.c_str(), &info), 0) << "a file that is not a socket must stay";

    InstanceClaim tooLong = claimInstance("/tmp/" + std::string(200, 'x'));
    EXPECT_EQ(tooLong.role, InstanceRole::Failed);
}

// Descriptors the process holds, not counting the one that lists them.
int descriptorCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                ++n;
            }
        }
        ::closedir(d);
    }
    return n - 1;
}

TEST(ClaimInstance, EveryPathClosesWhatItOpened) {
    TempDir tmp;
    const std::string path = tmp.path() + "/control";
    const std::string plain = tmp.path() + "/plain";
    ASSERT_EQ(std::system(("touch '" + plain + "'").c_str()), 0);
    const int before = descriptorCount();
    InstanceClaim primary = claimInstance(path);
    ASSERT_EQ(primary.role, InstanceRole::Primary) << primary.error;
    // The listening socket is the only one kept.
    EXPECT_EQ(descriptorCount(), before + 1);

    struct Case {
        const char* name;
        std::function<bool()> run;
    };
    const Case cases[] = {
        {"second start", [&] { return claimInstance(path).role == InstanceRole::Secondary; }},
        {"control line", [&] { return sendControlLine(path, "1023"); }},
        {"nobody listening", [&] { return !sendControlLine(tmp.path() + "/none", "1023"); }},
        {"not a socket", [&] { return claimInstance(plain).role == InstanceRole::Failed; }},
        {"no folder for the lock",
         [&] {
             return claimInstance(tmp.path() + "/missing/control").role == InstanceRole::Failed;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.run());
        EXPECT_EQ(descriptorCount(), before + 1);
    }
    ::close(primary.listenFd);
    EXPECT_EQ(descriptorCount(), before);
}

TEST(ControlLineReader, CutsLinesAcrossChunksAndDropsOverlongOnes) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
    };
    const std::string longLine(ControlLineReader::kMaxLine + 1, 'a');
    const Case cases[] = {
        {{"activate\n"}, {"activate"}},
        {{"10", "23\r\n", "activate\n1023\n"}, {"1023", "activate", "1023"}},
        {{"no newline yet"}, {}},
        {{"\n"}, {""}},
        {{longLine, "\n1023\n"}, {"1023"}},
        {{std::string(ControlLineReader::kMaxLine, 'b') + "\n"},
         {std::string(ControlLineReader::kMaxLine, 'b')}},
    };
    for (const Case& c : cases) {
        ControlLineReader reader;
        std::vector<std::string> got;
        for (const std::string& chunk : c.chunks) {
            reader.feed(chunk.data(), chunk.size(),
                        [&got](std::string_view line) { got.emplace_back(line); });
        }
        EXPECT_EQ(got, c.lines);
    }
}

} // namespace
} // namespace velocimo
