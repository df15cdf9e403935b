#pragma once

// The narrow store every settings load and save goes through: open a key (creating it when
// missing), read and write DWORD and text values, close. Value names match without regard to
// ASCII case, as the registry matches them.

#include "shell/core/fixedtext.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velocimo {

// Key paths under the current user.
inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Korvane\\Velocimo";
inline constexpr std::u16string_view kLogKeyPath = u"Software\\Korvane\\Velocimo\\Log";
inline constexpr std::u16string_view kPortsKeyPath = u"Software\\Korvane\\Velocimo\\Ports";

// One open key. Writes may be kept back until close(); the destructor closes a key that is
// still open. Write results are not reported: a store that cannot write drops them.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;

    // A value exactly 4 bytes long, whatever its stored type (a 4-byte binary value reads
    // too). Missing, shorter or longer (an 8-byte QWORD) gives false and leaves value alone.
    virtual bool readDword(std::u16string_view name, uint32_t& value) = 0;
    // Size of a text value in UTF-16 units, terminator included, so an empty text gives 1.
    // 0 when the value is missing or is not a text.
    virtual std::size_t textSize(std::u16string_view name) = 0;
    // The text up to its first NUL; false (text untouched) when missing or not a text.
    virtual bool readText(std::u16string_view name, std::u16string& text) = 0;
    virtual void writeDword(std::u16string_view name, uint32_t value) = 0;
    virtual void writeText(std::u16string_view name, std::u16string_view text) = 0;
    virtual void close() = 0;
};

// Reads a text into a fixed field; a text longer than the field is cut to its capacity.
template <std::size_t N>
bool readText(SettingsKey& key, std::u16string_view name, FixedText<N>& field) {
    std::u16string text;
    if (!key.readText(name, text)) {
        return false;
    }
    field.assign(std::u16string_view(text).substr(0, FixedText<N>::kCapacity));
    return true;
}

// Something about the store the user should hear of. The store only collects these; the
// program words and shows them.
struct StoreNotice {
    enum class Kind {
        IgnoredLines, // lines: what could not be read; every other value was loaded
        SetAside,     // the file was not text; moved to backupPath, defaults are used
        Unreadable,   // could not be read (reason); defaults are used and it is never replaced
        SaveFailed,   // a save did not reach the file (reason); memory holds the values
    };
    Kind kind = Kind::SaveFailed;
    std::string path;
    std::string reason;
    std::string backupPath;
    std::vector<int> lines;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the key at path, creating it when it does not exist; null when neither works.
    virtual std::unique_ptr<SettingsKey> openKey(std::u16string_view path) = 0;
    // What happened since the last call; each cause is given once until it goes away.
    virtual std::vector<StoreNotice> takeNotices() { return {}; }
};

} // namespace velocimo
