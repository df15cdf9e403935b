#pragma once

// The one UTF-16 to UTF-8 encoder and its allocating wrappers.

#include <string>
#include <string_view>

namespace velocimo {

// Hands the UTF-8 bytes of s to put(char) one at a time, without allocating. A surrogate
// without its partner becomes `unpaired` (a code point below U+10000).
template <typename Put> void encodeUtf8(std::u16string_view s, char32_t unpaired, Put&& put) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = unpaired;
        }
        if (cp < 0x80) {
            put(static_cast<char>(cp));
        } else if (cp < 0x800) {
            put(static_cast<char>(0xC0 | (cp >> 6)));
            put(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            put(static_cast<char>(0xE0 | (cp >> 12)));
            put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            put(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            put(static_cast<char>(0xF0 | (cp >> 18)));
            put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            put(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD). Allocates.
std::string toUtf8(std::u16string_view s);
// UTF-8 to UTF-16 (invalid bytes become U+FFFD). Allocates.
std::u16string fromUtf8(std::string_view s);

} // namespace velocimo
