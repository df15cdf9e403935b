#include "settings/regfilestore.h"

#include "settings/regdocument.h"
#include "shell/core/filedescriptor.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velocimo {

namespace {

// Far beyond any real export of one key; anything larger is not ours to load into memory.
constexpr off_t kMaxFileSize = 4 * 1024 * 1024;

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && *result->pw_dir) {
        return result->pw_dir;
    }
    return {};
}

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// mkdir -p; folders this creates are private to the user.
bool ensureFolder(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const std::string parent = parentFolder(folder);
    if (parent != folder && !ensureFolder(parent)) {
        return false;
    }
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

enum class ReadResult { Ok, Missing, Failed, TooLarge };

// Never opens anything but a regular file: a FIFO or a device at the path would block or
// act on the open itself.
ReadResult readFile(const std::string& path, std::string& content, std::string& reason) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        // Nothing there to lose: a save will make the file or say why it cannot.
        if (errno == ENOENT || errno == ENOTDIR) {
            return ReadResult::Missing;
        }
        reason = std::strerror(errno);
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "it is not a regular file";
        return ReadResult::Failed;
    }
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            return ReadResult::Missing;
        }
        reason = std::strerror(errno);
        return ReadResult::Failed;
    }
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = "it is not a regular file";
        return ReadResult::Failed;
    }
    if (st.st_size > kMaxFileSize) {
        return ReadResult::TooLarge;
    }
    content.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = std::strerror(errno);
            return ReadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > static_cast<std::size_t>(kMaxFileSize)) {
            return ReadResult::TooLarge; // grew while being read
        }
    }
    return ReadResult::Ok;
}

// The file a chain of links ends at, existing or not, so a dangling link is written through.
bool resolveLinks(std::string& path, std::string& reason) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        char buffer[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) {
            reason = std::strerror(errno);
            return false;
        }
        std::string next(buffer, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : parentFolder(path) + "/" + next;
    }
    reason = std::strerror(ELOOP);
    return false;
}

// "name.XXXXXX" as mkostemp makes it.
bool isTempName(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 7 || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.') {
        return false;
    }
    for (std::size_t i = base.size() + 1; i < name.size(); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

// Temporary files of saves a power cut or a kill interrupted.
void removeLeftovers(const std::string& target) {
    const std::string folder = parentFolder(target);
    const std::string base = target.substr(target.rfind('/') + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isTempName(name, base)) {
            continue;
        }
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            unlink(path.c_str());
        }
    }
    closedir(dir);
}

// Moves the file to a name no earlier backup has; empty when it could not be moved.
std::string setAside(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path + ".bad-" + stamp;
    for (int n = 1; n < 100; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return aside;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

} // namespace

// Reads see the file as it was at open plus this key's own writes; close merges the writes
// into the file as it is then, so two keys open at once do not undo each other.
class RegFileKey final : public SettingsKey {
public:
    RegFileKey(RegFileStore& store, std::u16string path, std::unique_ptr<RegDocument> doc,
               bool writable, bool changed)
        : m_store(store), m_path(std::move(path)), m_doc(std::move(doc)), m_writable(writable),
          m_changed(changed) {}
    ~RegFileKey() override { close(); }

    bool readDword(std::u16string_view name, uint32_t& value) override {
        const RegValue* v = m_doc->find(m_path, name);
        return v && valueDword(*v, value);
    }
    std::size_t textSize(std::u16string_view name) override {
        const RegValue* v = m_doc->find(m_path, name);
        return v ? valueTextSize(*v) : 0;
    }
    bool readText(std::u16string_view name, std::u16string& text) override {
        const RegValue* v = m_doc->find(m_path, name);
        return v && valueText(*v, text);
    }
    void writeDword(std::u16string_view name, uint32_t value) override {
        if (m_closed) {
            return;
        }
        m_changed |= m_doc->setDword(m_path, name, value);
        m_writes.push_back(Write{std::u16string(name), true, value, {}});
    }
    void writeText(std::u16string_view name, std::u16string_view text) override {
        if (m_closed) {
            return;
        }
        m_changed |= m_doc->setText(m_path, name, text);
        m_writes.push_back(Write{std::u16string(name), false, 0, std::u16string(text)});
    }
    void close() override {
        if (m_closed) {
            return;
        }
        m_closed = true;
        if (!m_changed || !m_writable) {
            return;
        }
        bool writable = false;
        std::unique_ptr<RegDocument> current = m_store.loadDocument(writable);
        if (!writable) {
            return;
        }
        bool changed = current->addKey(m_path);
        for (const Write& w : m_writes) {
            changed |= w.isDword ? current->setDword(m_path, w.name, w.dword)
                                 : current->setText(m_path, w.name, w.text);
        }
        if (changed) {
            m_store.saveDocument(*current);
        }
    }

private:
    struct Write {
        std::u16string name;
        bool isDword;
        uint32_t dword;
        std::u16string text;
    };

    RegFileStore& m_store;
    std::u16string m_path;
    std::unique_ptr<RegDocument> m_doc;
    bool m_writable;
    bool m_changed;
    bool m_closed = false;
    std::vector<Write> m_writes;
};

RegFileStore::RegFileStore() : RegFileStore(defaultFilePath()) {}

RegFileStore::RegFileStore(std::string filePath) : m_filePath(std::move(filePath)) {}

RegFileStore::~RegFileStore() = default;

std::string RegFileStore::defaultFilePath() {
    std::string config;
    // Relative values are to be ignored, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const std::string home = homeFolder();
        if (home.empty()) {
            return {};
        }
        config = home + "/.config";
    }
    return config + "/Korvane/Velocimo.reg";
}

std::unique_ptr<SettingsKey> RegFileStore::openKey(std::u16string_view path) {
    bool writable = false;
    std::unique_ptr<RegDocument> doc = loadDocument(writable);
    const bool created = doc->addKey(path);
    return std::make_unique<RegFileKey>(*this, std::u16string(path), std::move(doc), writable,
                                        created);
}

std::unique_ptr<RegDocument> RegFileStore::loadDocument(bool& writable) {
    auto doc = std::make_unique<RegDocument>();
    writable = false;
    if (m_filePath.empty()) {
        return doc;
    }
    if (!m_cleaned) {
        m_cleaned = true;
        std::string target = m_filePath;
        std::string ignored;
        if (resolveLinks(target, ignored)) {
            removeLeftovers(target);
        }
    }
    std::string content;
    std::string reason;
    switch (readFile(m_filePath, content, reason)) {
    case ReadResult::Missing:
        writable = true;
        return doc;
    case ReadResult::Failed:
        // Replacing a file that could not be read would lose it.
        if (!m_warnedUnreadable) {
            m_warnedUnreadable = true;
            addNotice(StoreNotice::Kind::Unreadable, reason);
        }
        return doc;
    case ReadResult::TooLarge:
        reason = "it is too large";
        break;
    case ReadResult::Ok:
        if (RegDocument::parse(content, *doc, reason)) {
            writable = true;
            if (!doc->ignoredLines().empty() && !m_warnedIgnored) {
                m_warnedIgnored = true;
                StoreNotice& notice = addNotice(StoreNotice::Kind::IgnoredLines, {});
                notice.lines = doc->ignoredLines();
            }
            return doc;
        }
        *doc = RegDocument();
        break;
    }
    const std::string aside = setAside(m_filePath);
    if (!aside.empty()) {
        StoreNotice& notice = addNotice(StoreNotice::Kind::SetAside, reason);
        notice.backupPath = aside;
        writable = true;
    } else if (!m_warnedUnreadable) {
        m_warnedUnreadable = true;
        addNotice(StoreNotice::Kind::Unreadable, reason);
    }
    return doc;
}

StoreNotice& RegFileStore::addNotice(StoreNotice::Kind kind, std::string reason) {
    StoreNotice notice;
    notice.kind = kind;
    notice.path = m_filePath;
    notice.reason = std::move(reason);
    // Also on stderr, for a run without a window to show boxes on.
    std::fprintf(stderr, "Velocimo: settings file %s: %s\n", m_filePath.c_str(),
                 notice.reason.empty() ? "some lines were ignored" : notice.reason.c_str());
    m_notices.push_back(std::move(notice));
    return m_notices.back();
}

std::vector<StoreNotice> RegFileStore::takeNotices() {
    return std::exchange(m_notices, {});
}

bool RegFileStore::saveDocument(const RegDocument& doc) {
    std::string reason;
    if (writeDocument(doc, reason)) {
        m_saveFailure.clear();
        return true;
    }
    // One notice per cause: a save every minute must not pile up boxes.
    if (reason != m_saveFailure) {
        m_saveFailure = reason;
        addNotice(StoreNotice::Kind::SaveFailed, reason);
    }
    return false;
}

bool RegFileStore::writeDocument(const RegDocument& doc, std::string& reason) {
    // Replace the file a link points to rather than the link; a dangling link gets its
    // target made.
    std::string target = m_filePath;
    if (!resolveLinks(target, reason)) {
        return false;
    }
    const std::string folder = parentFolder(target);
    if (!ensureFolder(folder)) {
        reason = std::strerror(errno);
        return false;
    }
    std::string tempPath = target + ".XXXXXX";
    FileDescriptor fd(mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd) {
        reason = std::strerror(errno);
        return false;
    }
    const std::string data = doc.serialize();
    errno = 0;
    bool ok = fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), data) && fsync(fd.get()) == 0;
    int error = errno;
    // A failed close can mean lost data: the file must not replace the good one then.
    if (::close(fd.release()) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(tempPath.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(tempPath.c_str());
        reason = std::strerror(error == 0 ? EIO : error);
        return false;
    }
    const FileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        fsync(dir.get());
    }
    return true;
}

class MemoryKey final : public SettingsKey {
public:
    MemoryKey(RegDocument& doc, std::u16string path) : m_doc(doc), m_path(std::move(path)) {}

    bool readDword(std::u16string_view name, uint32_t& value) override {
        const RegValue* v = m_doc.find(m_path, name);
        return v && valueDword(*v, value);
    }
    std::size_t textSize(std::u16string_view name) override {
        const RegValue* v = m_doc.find(m_path, name);
        return v ? valueTextSize(*v) : 0;
    }
    bool readText(std::u16string_view name, std::u16string& text) override {
        const RegValue* v = m_doc.find(m_path, name);
        return v && valueText(*v, text);
    }
    void writeDword(std::u16string_view name, uint32_t value) override {
        m_doc.setDword(m_path, name, value);
    }
    void writeText(std::u16string_view name, std::u16string_view text) override {
        m_doc.setText(m_path, name, text);
    }
    void close() override {}

private:
    RegDocument& m_doc;
    std::u16string m_path;
};

MemorySettingsStore::MemorySettingsStore() : m_doc(std::make_unique<RegDocument>()) {}

MemorySettingsStore::~MemorySettingsStore() = default;

std::unique_ptr<SettingsKey> MemorySettingsStore::openKey(std::u16string_view path) {
    m_doc->addKey(path);
    return std::make_unique<MemoryKey>(*m_doc, std::u16string(path));
}

std::string MemorySettingsStore::text() const {
    return m_doc->serialize();
}

} // namespace velocimo
