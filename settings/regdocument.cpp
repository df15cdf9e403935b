#include "settings/regdocument.h"

#include "shell/core/fixedtext.h"

#include <charconv>

namespace velocimo {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\";

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// 8-bit text of a REGEDIT4 file that is not UTF-8: every byte is its own code point.
std::string latin1ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
    }
    return toUtf8(units);
}

std::u16string_view unitsOf(const std::vector<uint8_t>& bytes, std::u16string& storage) {
    storage.clear();
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const uint8_t lo = bytes[i];
        const uint8_t hi = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        storage.push_back(static_cast<char16_t>(hi << 8 | lo));
    }
    return storage;
}

bool parseHexNumber(std::string_view s, uint32_t& value) {
    if (s.empty() || s.size() > 8) {
        return false;
    }
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
    return ec == std::errc() && ptr == s.data() + s.size();
}

bool parseByteList(std::string_view s, std::vector<uint8_t>& bytes) {
    bytes.clear();
    s = trim(s);
    if (s.empty()) {
        return true;
    }
    while (true) {
        const std::size_t comma = s.find(',');
        const std::string_view token = trim(s.substr(0, comma));
        uint32_t b = 0;
        if (token.size() > 2 || !parseHexNumber(token, b)) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(b));
        if (comma == std::string_view::npos) {
            return true;
        }
        s.remove_prefix(comma + 1);
    }
}

// A quoted name or text starting at s[pos] == '"'. Only \\ and \" are escapes; a backslash
// before anything else is kept, as a hand-written "C:\Windows" means.
bool parseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[++i]);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool isTextType(uint32_t type) {
    return type == kRegSz || type == kRegExpandSz;
}

std::vector<uint8_t> le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// Not binary: valid UTF-8 without control characters other than white space.
bool looksLikeText(std::string_view s) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && !isSpace(ch) && ch != '\n') || c == 0x7F) {
            return false;
        }
    }
    return validUtf8(s);
}

// Splits into lines without their CR / LF.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t nl = text.find('\n', start);
        std::string_view line =
            text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (nl == std::string_view::npos) {
            break;
        }
        start = nl + 1;
    }
    return lines;
}

std::string sectionPathKey(std::u16string_view path) {
    std::string key(kRoot);
    key += toUtf8(path);
    return key;
}

void parseData(std::string_view data, bool regedit4, RegValue& value) {
    data = trim(data);
    if (data.size() >= 6 && equalsFolded(data.substr(0, 6), "dword:")) {
        uint32_t v = 0;
        if (parseHexNumber(trim(data.substr(6)), v)) {
            value.type = kRegDword;
            value.bytes = le32(v);
            value.readable = true;
            value.verbatim.clear();
        }
        return;
    }
    std::size_t colon = std::string_view::npos;
    uint32_t type = 0;
    if (data.size() >= 4 && equalsFolded(data.substr(0, 4), "hex:")) {
        type = kRegBinary;
        colon = 3;
    } else if (data.size() >= 4 && equalsFolded(data.substr(0, 4), "hex(")) {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos || close + 1 >= data.size() || data[close + 1] != ':' ||
            !parseHexNumber(data.substr(4, close - 4), type)) {
            return;
        }
        colon = close + 1;
    } else {
        return; // "-" (a deletion) or a form this program does not know
    }
    std::vector<uint8_t> bytes;
    if (!parseByteList(data.substr(colon + 1), bytes)) {
        return;
    }
    if (regedit4 && (type == kRegSz || type == kRegExpandSz || type == 7)) {
        // 8-bit texts there; held as UTF-16 like every other text, and written anew.
        std::string narrow(bytes.begin(), bytes.end());
        const std::string utf8 = validUtf8(narrow) ? narrow : latin1ToUtf8(narrow);
        const std::u16string wide = fromUtf8(utf8);
        bytes.clear();
        for (char16_t u : wide) {
            bytes.push_back(static_cast<uint8_t>(u & 0xFF));
            bytes.push_back(static_cast<uint8_t>(u >> 8));
        }
        value.verbatim.clear();
    }
    value.type = type;
    value.bytes = std::move(bytes);
    value.readable = true;
}

void appendHexLines(std::string& out, std::string head, const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line = std::move(head);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (line.size() + 3 > 78) {
            out += line;
            out += "\\\r\n";
            line = "  ";
        }
        line.push_back(kDigits[bytes[i] >> 4]);
        line.push_back(kDigits[bytes[i] & 0xF]);
        if (i + 1 < bytes.size()) {
            line.push_back(',');
        }
    }
    out += line;
    out += "\r\n";
}

void appendValue(std::string& out, const RegValue& value) {
    if (!value.verbatim.empty()) {
        for (const std::string& line : value.verbatim) {
            out += line;
            out += "\r\n";
        }
        return;
    }
    std::string head = value.isDefault ? std::string("@") : quote(value.name);
    head.push_back('=');
    if (value.type == kRegDword && value.bytes.size() == 4) {
        const uint32_t v = static_cast<uint32_t>(value.bytes[0]) |
                           static_cast<uint32_t>(value.bytes[1]) << 8 |
                           static_cast<uint32_t>(value.bytes[2]) << 16 |
                           static_cast<uint32_t>(value.bytes[3]) << 24;
        char digits[9];
        static constexpr char kDigits[] = "0123456789abcdef";
        for (int i = 0; i < 8; ++i) {
            digits[i] = kDigits[(v >> (28 - 4 * i)) & 0xF];
        }
        digits[8] = 0;
        out += head + "dword:" + digits + "\r\n";
        return;
    }
    if (value.type == kRegSz) {
        // Quoted when the quoted form gives back exactly these bytes; a text with a line
        // break, a NUL inside or a lone surrogate goes out as hex(1) instead.
        std::u16string storage;
        std::u16string_view units = unitsOf(value.bytes, storage);
        if (value.bytes.size() % 2 == 0 && !units.empty() && units.back() == 0) {
            units.remove_suffix(1);
            const std::string utf8 = toUtf8(units);
            if (units.find_first_of(u"\r\n\0", 0, 3) == std::u16string_view::npos &&
                fromUtf8(utf8) == units) {
                out += head + quote(utf8) + "\r\n";
                return;
            }
        }
    }
    std::string typeText = "hex:";
    if (value.type != kRegBinary) {
        char buffer[16];
        const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.type, 16);
        (void)ec;
        typeText = "hex(" + std::string(buffer, ptr) + "):";
    }
    appendHexLines(out, head + typeText, value.bytes);
}

} // namespace

std::vector<uint8_t> textBytes(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t u : text) {
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

bool valueText(const RegValue& value, std::u16string& text) {
    if (!value.readable || !isTextType(value.type)) {
        return false;
    }
    std::u16string storage;
    std::u16string_view units = unitsOf(value.bytes, storage);
    text.assign(units.substr(0, units.find(u'\0')));
    return true;
}

bool valueDword(const RegValue& value, uint32_t& dword) {
    if (!value.readable || value.bytes.size() != 4) {
        return false;
    }
    dword = static_cast<uint32_t>(value.bytes[0]) | static_cast<uint32_t>(value.bytes[1]) << 8 |
            static_cast<uint32_t>(value.bytes[2]) << 16 |
            static_cast<uint32_t>(value.bytes[3]) << 24;
    return true;
}

std::size_t valueTextSize(const RegValue& value) {
    if (!value.readable || !isTextType(value.type)) {
        return 0;
    }
    return (value.bytes.size() + 1) / 2;
}

bool RegDocument::parse(std::string_view bytes, RegDocument& doc, std::string& error) {
    doc = RegDocument();
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text = utf16ToUtf8(bytes.substr(2), false);
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        text = utf16ToUtf8(bytes.substr(2), true);
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }
    if (text.find('\0') != std::string::npos) {
        error = "it contains NUL characters";
        return false;
    }
    if (text.find_first_not_of(" \t\r\n\v\f") == std::string::npos) {
        return true; // an empty file: nothing to lose, nothing to keep
    }

    std::vector<std::string_view> lines = splitLines(text);
    std::size_t first = 0;
    while (first < lines.size() && trim(lines[first]).empty()) {
        ++first;
    }
    const std::string_view header = trim(lines[first]);
    bool regedit4 = false;
    std::size_t start = first + 1;
    if (header == kHeader4) {
        regedit4 = true;
        if (!validUtf8(text)) {
            text = latin1ToUtf8(text);
            lines = splitLines(text);
        }
    } else if (header != kHeader5) {
        // Without a header a file is only worth line-by-line reading when it is text.
        if (!looksLikeText(text)) {
            error = "it is not a text file";
            return false;
        }
        start = first;
    }

    // A line that cannot be understood costs that line only: it is kept as it was, so a
    // rewrite does not destroy what the user typed, and its number is reported.
    RegSection* section = nullptr;
    auto keepBad = [&](std::size_t index, std::string_view raw) {
        doc.m_ignoredLines.push_back(static_cast<int>(index + 1));
        RegEntry entry;
        entry.isComment = true;
        entry.comment = std::string(raw);
        if (section) {
            section->entries.push_back(std::move(entry));
        } else {
            doc.m_preamble.push_back(entry.comment);
        }
    };
    for (std::size_t i = start; i < lines.size(); ++i) {
        const std::string_view raw = trimRight(lines[i]);
        const std::string_view line = trim(raw);
        if (line.empty()) {
            continue;
        }
        if (line.front() == ';' || line.front() == '#') {
            RegEntry entry;
            entry.isComment = true;
            entry.comment = std::string(raw);
            if (section) {
                section->entries.push_back(std::move(entry));
            } else {
                doc.m_preamble.push_back(entry.comment);
            }
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                // The values below belong to a key that cannot be named: they stay with
                // this line and are never read as another key's.
                doc.m_ignoredLines.push_back(static_cast<int>(i + 1));
                doc.m_sections.push_back(RegSection{std::string(raw), {}, true});
            } else {
                doc.m_sections.push_back(
                    RegSection{std::string(line.substr(1, line.size() - 2)), {}, false});
            }
            section = &doc.m_sections.back();
            continue;
        }
        if ((line.front() != '"' && line.front() != '@') || !section) {
            keepBad(i, raw);
            continue;
        }
        RegEntry entry;
        RegValue& value = entry.value;
        std::size_t pos = 0;
        if (line.front() == '@') {
            value.isDefault = true;
            pos = 1;
        } else if (!parseQuoted(line, pos, value.name)) {
            keepBad(i, raw);
            continue;
        }
        value.verbatim.emplace_back(raw);
        std::string_view rest = trim(line.substr(pos));
        if (!rest.empty() && rest.front() == '=') {
            rest = trim(rest.substr(1));
            if (!rest.empty() && rest.front() == '"') {
                std::string textValue;
                std::size_t end = 0;
                if (parseQuoted(rest, end, textValue) && trim(rest.substr(end)).empty()) {
                    value.type = kRegSz;
                    value.bytes = textBytes(fromUtf8(textValue));
                    value.readable = true;
                    value.verbatim.clear();
                }
            } else {
                // Binary forms run on over lines ending in a backslash.
                std::string data(rest);
                while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
                    data.pop_back();
                    ++i;
                    const std::string_view next = trimRight(lines[i]);
                    value.verbatim.emplace_back(next);
                    data += trim(next);
                }
                parseData(data, regedit4, value);
            }
        }
        section->entries.push_back(std::move(entry));
    }
    return true;
}

std::string RegDocument::serialize() const {
    std::string out(kHeader5);
    out += "\r\n";
    for (const std::string& line : m_preamble) {
        out += line;
        out += "\r\n";
    }
    for (const RegSection& section : m_sections) {
        if (section.broken) {
            out += "\r\n" + section.header + "\r\n";
        } else {
            out += "\r\n[";
            out += section.header;
            out += "]\r\n";
        }
        for (const RegEntry& entry : section.entries) {
            if (entry.isComment) {
                out += entry.comment;
                out += "\r\n";
            } else {
                appendValue(out, entry.value);
            }
        }
    }
    out += "\r\n";
    return out;
}

bool RegDocument::hasKey(std::u16string_view path) const {
    const std::string key = sectionPathKey(path);
    for (const RegSection& section : m_sections) {
        if (!section.broken && equalsFolded(section.header, key)) {
            return true;
        }
    }
    return false;
}

bool RegDocument::addKey(std::u16string_view path) {
    if (hasKey(path)) {
        return false;
    }
    m_sections.push_back(RegSection{sectionPathKey(path), {}});
    return true;
}

const RegValue* RegDocument::find(std::u16string_view path, std::u16string_view name) const {
    return const_cast<RegDocument*>(this)->findMutable(path, name);
}

RegValue* RegDocument::findMutable(std::u16string_view path, std::u16string_view name) {
    const std::string key = sectionPathKey(path);
    const std::string wanted = toUtf8(name);
    RegValue* found = nullptr;
    for (RegSection& section : m_sections) {
        if (!equalsFolded(section.header, key)) {
            continue;
        }
        for (RegEntry& entry : section.entries) {
            if (!entry.isComment && entry.value.isDefault == wanted.empty() &&
                equalsFolded(entry.value.name, wanted)) {
                found = &entry.value;
            }
        }
    }
    return found;
}

bool RegDocument::setValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                           std::vector<uint8_t> bytes) {
    RegValue* value = findMutable(path, name);
    if (value && value->readable && value->type == type && value->bytes == bytes) {
        return false;
    }
    if (!value) {
        addKey(path);
        const std::string key = sectionPathKey(path);
        RegSection* target = nullptr;
        for (RegSection& section : m_sections) {
            if (equalsFolded(section.header, key)) {
                target = &section;
            }
        }
        RegEntry entry;
        entry.value.name = toUtf8(name);
        entry.value.isDefault = name.empty();
        target->entries.push_back(std::move(entry));
        value = &target->entries.back().value;
    }
    value->readable = true;
    value->type = type;
    value->bytes = std::move(bytes);
    value->verbatim.clear();
    return true;
}

bool RegDocument::setDword(std::u16string_view path, std::u16string_view name, uint32_t value) {
    return setValue(path, name, kRegDword, le32(value));
}

bool RegDocument::setText(std::u16string_view path, std::u16string_view name,
                          std::u16string_view text) {
    return setValue(path, name, kRegSz, textBytes(text));
}

} // namespace velocimo
