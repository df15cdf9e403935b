#pragma once

// Settings kept in one text file in the format of a Windows registry export, so a user can
// read and edit it and an export from regedit can be dropped in.

#include "settings/settingsstore.h"

#include <memory>
#include <string>
#include <vector>

namespace velocimo {

class RegDocument;

// Every key opened reads the file afresh; closing a key that changed something merges its
// changes into the file as it is then and replaces the file atomically (mode 0600). Lines
// that cannot be parsed are skipped and kept; a file that is not text at all is renamed to
// "<name>.bad-YYYYMMDD-HHMMSS" (never over an earlier one) and the store carries on with an
// empty one. Anything other than a regular file at the path is never opened.
class RegFileStore final : public SettingsStore {
public:
    // $XDG_CONFIG_HOME/Korvane/Velocimo.reg, or ~/.config/Korvane/Velocimo.reg.
    RegFileStore();
    explicit RegFileStore(std::string filePath);
    ~RegFileStore() override;

    std::unique_ptr<SettingsKey> openKey(std::u16string_view path) override;
    std::vector<StoreNotice> takeNotices() override;

    const std::string& filePath() const { return m_filePath; }

    // Where the default constructor keeps the file; empty when no home folder is known.
    static std::string defaultFilePath();

private:
    friend class RegFileKey;
    // Reads the file; a bad file is moved aside. writable is false when the file exists but
    // could not be read or moved aside: it must then never be replaced.
    std::unique_ptr<RegDocument> loadDocument(bool& writable);
    bool saveDocument(const RegDocument& doc);
    bool writeDocument(const RegDocument& doc, std::string& reason);
    StoreNotice& addNotice(StoreNotice::Kind kind, std::string reason);

    std::string m_filePath;
    bool m_cleaned = false;
    bool m_warnedUnreadable = false;
    bool m_warnedIgnored = false;
    std::string m_saveFailure; // the cause last told of; empty after a save that worked
    std::vector<StoreNotice> m_notices;
};

// A store held in memory only, for tests and for running without a home folder.
class MemorySettingsStore final : public SettingsStore {
public:
    MemorySettingsStore();
    ~MemorySettingsStore() override;

    std::unique_ptr<SettingsKey> openKey(std::u16string_view path) override;

    // The content as it would be written to a file.
    std::string text() const;

private:
    friend class MemoryKey;
    std::unique_ptr<RegDocument> m_doc;
};

} // namespace velocimo
