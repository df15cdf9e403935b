#include "settings/regfilestore.h"

#include "settings/regdocument.h"
#include "shell/core/filedescriptor.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
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

ReadResult readFile(const std::string& path, std::string& content) {
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
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
    std::string content;
    std::string reason;
    switch (readFile(m_filePath, content)) {
    case ReadResult::Missing:
        writable = true;
        return doc;
    case ReadResult::Failed:
        // Replacing a file that could not be read would lose it.
        if (!m_warnedUnreadable) {
            m_warnedUnreadable = true;
            std::fprintf(stderr,
                         "Velocimo: cannot read the settings file %s (%s); using defaults\n",
                         m_filePath.c_str(), std::strerror(errno));
        }
        return doc;
    case ReadResult::TooLarge:
        reason = "it is too large";
        break;
    case ReadResult::Ok:
        if (RegDocument::parse(content, *doc, reason)) {
            writable = true;
            return doc;
        }
        *doc = RegDocument();
        break;
    }
    const std::string aside = m_filePath + ".bad";
    if (rename(m_filePath.c_str(), aside.c_str()) == 0) {
        std::fprintf(stderr,
                     "Velocimo: the settings file %s could not be read (%s); it was kept as %s "
                     "and the defaults are used\n",
                     m_filePath.c_str(), reason.c_str(), aside.c_str());
        writable = true;
    } else if (!m_warnedUnreadable) {
        m_warnedUnreadable = true;
        std::fprintf(stderr,
                     "Velocimo: the settings file %s could not be read (%s) nor moved aside; "
                     "the defaults are used and it is left as it is\n",
                     m_filePath.c_str(), reason.c_str());
    }
    return doc;
}

bool RegFileStore::saveDocument(const RegDocument& doc) {
    // Replace the file a link points to rather than the link.
    std::string target = m_filePath;
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!realpath(target.c_str(), resolved)) {
            return false;
        }
        target = resolved;
    }
    const std::string folder = parentFolder(target);
    if (!ensureFolder(folder)) {
        return false;
    }
    std::string tempPath = target + ".XXXXXX";
    FileDescriptor fd(mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd) {
        return false;
    }
    const std::string data = doc.serialize();
    bool ok = fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), data) && fsync(fd.get()) == 0;
    // A failed close can mean lost data: the file must not replace the good one then.
    ok = (::close(fd.release()) == 0) && ok;
    if (!ok || rename(tempPath.c_str(), target.c_str()) != 0) {
        unlink(tempPath.c_str());
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
