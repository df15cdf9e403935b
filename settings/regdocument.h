#pragma once

// The parsed content of a registry export file: sections, values and comments in file
// order. Values of types this program does not use keep their original lines, so rewriting
// a file never changes what it does not own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velocimo {

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

struct RegValue {
    std::string name; // UTF-8, unescaped; empty for the default value "@"
    bool isDefault = false;
    // False when the data could not be understood (a deletion "=-", an unknown form): such a
    // value reads as missing and is written back as it was.
    bool readable = false;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;        // as the registry holds them; texts are UTF-16LE with NUL
    std::vector<std::string> verbatim; // the original lines; empty: written from the bytes
};

struct RegEntry {
    bool isComment = false;
    std::string comment; // the whole line
    RegValue value;
};

struct RegSection {
    std::string header; // between the brackets, as in the file
    std::vector<RegEntry> entries;
    // A key line that could not be read: header is the whole line, written back as it was,
    // and the section never matches a key.
    bool broken = false;
};

class RegDocument {
public:
    // Reads the bytes of a file: UTF-8 (with or without BOM), UTF-16 with BOM, or the
    // 8-bit REGEDIT4 format. Empty content gives an empty document. Lines that cannot be
    // understood are kept as they were and listed in ignoredLines(). Fails (error says why)
    // only for content that is not text at all.
    static bool parse(std::string_view bytes, RegDocument& doc, std::string& error);
    // UTF-8, CRLF line ends, "Windows Registry Editor Version 5.00" first.
    std::string serialize() const;

    // Key paths are relative to HKEY_CURRENT_USER and match without regard to ASCII case.
    bool hasKey(std::u16string_view path) const;
    // Adds an empty section for the key when it has none; true when one was added.
    bool addKey(std::u16string_view path);
    // The value a registry import would leave (the last of duplicates); null when absent.
    const RegValue* find(std::u16string_view path, std::u16string_view name) const;
    // Both return true when the document changed.
    bool setDword(std::u16string_view path, std::u16string_view name, uint32_t value);
    bool setText(std::u16string_view path, std::u16string_view name, std::u16string_view text);

    const std::vector<RegSection>& sections() const { return m_sections; }
    // 1-based numbers of the lines parse() could not understand.
    const std::vector<int>& ignoredLines() const { return m_ignoredLines; }

private:
    RegValue* findMutable(std::u16string_view path, std::u16string_view name);
    bool setValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                  std::vector<uint8_t> bytes);

    std::vector<std::string> m_preamble; // comments before the first section
    std::vector<RegSection> m_sections;
    std::vector<int> m_ignoredLines;
};

// Text value helpers shared with the stores.
std::vector<uint8_t> textBytes(std::u16string_view text);
// The text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL; false for other types.
bool valueText(const RegValue& value, std::u16string& text);
// A value exactly 4 bytes long, whatever its type; false otherwise.
bool valueDword(const RegValue& value, uint32_t& dword);
// Units including the terminator, as the registry reports a text's size; 0 when not a text.
std::size_t valueTextSize(const RegValue& value);

} // namespace velocimo
