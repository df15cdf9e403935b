#include "shell/core/fixedtext.h"

#include <charconv>
#include <cmath>

namespace velocimo {

namespace {

// Decodes one UTF-8 sequence starting at s[i]; advances i. Invalid input gives U+FFFD.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFD;
    }
    return cp;
}

void putCodePoint(Utf16Sink& sink, char32_t cp) {
    if (cp < 0x10000) {
        sink.put(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        sink.put(static_cast<char16_t>(0xD800 + (cp >> 10)));
        sink.put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void pad(Utf16Sink& sink, int count, char16_t c) {
    for (int i = 0; i < count; ++i) {
        sink.put(c);
    }
}

// Writes body (ASCII, without sign) with sign and padding the way printf does.
void emitPadded(Utf16Sink& sink, std::string_view body, char signChar, int width, bool zeroPad,
                bool leftAlign) {
    const int length = static_cast<int>(body.size()) + (signChar ? 1 : 0);
    const int fill = width > length ? width - length : 0;
    if (leftAlign) {
        if (signChar) {
            sink.put(static_cast<char16_t>(signChar));
        }
        sink.putAscii(body);
        pad(sink, fill, u' ');
    } else if (zeroPad) {
        if (signChar) {
            sink.put(static_cast<char16_t>(signChar));
        }
        pad(sink, fill, u'0');
        sink.putAscii(body);
    } else {
        pad(sink, fill, u' ');
        if (signChar) {
            sink.put(static_cast<char16_t>(signChar));
        }
        sink.putAscii(body);
    }
}

void appendInteger(Utf16Sink& sink, long long value, int width, bool zeroPad, bool leftAlign,
                   char sign) {
    char buf[24];
    const bool negative = value < 0;
    // Magnitude as unsigned so that the most negative value does not overflow.
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, magnitude);
    (void)ec;
    const char signChar = negative ? '-' : sign;
    emitPadded(sink, std::string_view(buf, static_cast<std::size_t>(end - buf)), signChar, width,
               zeroPad && !leftAlign, leftAlign);
}

} // namespace

void Utf16Sink::putUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        putCodePoint(*this, decodeUtf8(s, i));
    }
}

void appendFixed(Utf16Sink& sink, double value, int width, int precision, bool zeroPad,
                 bool leftAlign, char sign) {
    if (precision < 0) {
        precision = 6;
    }
    if (precision > 60) {
        precision = 60;
    }
    if (std::isnan(value) || std::isinf(value)) {
        const bool negative = std::signbit(value);
        emitPadded(sink, std::isnan(value) ? "nan" : "inf", negative ? '-' : sign, width, false,
                   leftAlign);
        return;
    }
    // 309 integer digits at most, the point and up to 60 decimals.
    char buf[400];
    const bool negative = std::signbit(value);
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, negative ? -value : value,
                                   std::chars_format::fixed, precision);
    if (ec != std::errc()) {
        return;
    }
    emitPadded(sink, std::string_view(buf, static_cast<std::size_t>(end - buf)),
               negative ? '-' : sign, width, zeroPad && !leftAlign, leftAlign);
}

void formatInto(Utf16Sink& sink, const char* format, const FormatArg* args, std::size_t count) {
    std::string_view fmt(format);
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < fmt.size()) {
        const char c = fmt[i];
        if (c != '%') {
            // Copy the literal run up to the next '%' as UTF-8.
            const std::size_t stop = fmt.find('%', i);
            const std::size_t end = stop == std::string_view::npos ? fmt.size() : stop;
            sink.putUtf8(fmt.substr(i, end - i));
            i = end;
            continue;
        }
        ++i;
        if (i < fmt.size() && fmt[i] == '%') {
            sink.put(u'%');
            ++i;
            continue;
        }
        bool leftAlign = false;
        bool zeroPad = false;
        char sign = 0;
        for (; i < fmt.size(); ++i) {
            const char f = fmt[i];
            if (f == '-') {
                leftAlign = true;
            } else if (f == '0') {
                zeroPad = true;
            } else if (f == '+') {
                sign = '+';
            } else if (f == ' ') {
                if (sign != '+') {
                    sign = ' ';
                }
            } else if (f != '#') {
                break;
            }
        }
        int width = 0;
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
            width = width * 10 + (fmt[i] - '0');
            if (width > 400) {
                width = 400;
            }
            ++i;
        }
        int precision = -1;
        if (i < fmt.size() && fmt[i] == '.') {
            ++i;
            precision = 0;
            while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
                precision = precision * 10 + (fmt[i] - '0');
                if (precision > 60) {
                    precision = 60;
                }
                ++i;
            }
        }
        while (i < fmt.size() && (fmt[i] == 'l' || fmt[i] == 'h' || fmt[i] == 'L' ||
                                  fmt[i] == 'z' || fmt[i] == 'j' || fmt[i] == 't')) {
            ++i;
        }
        if (i >= fmt.size()) {
            break;
        }
        const char conv = fmt[i++];
        if (next >= count) {
            continue;
        }
        const FormatArg& arg = args[next++];
        switch (conv) {
        case 'd':
        case 'i':
        case 'u':
            appendInteger(sink,
                          arg.kind() == FormatArg::Kind::Double
                              ? static_cast<long long>(arg.asDouble())
                              : arg.asInt(),
                          width, zeroPad, leftAlign, sign);
            break;
        case 'f':
        case 'F':
            appendFixed(sink, arg.asDouble(), width, precision, zeroPad, leftAlign, sign);
            break;
        case 's': {
            std::u16string_view text = arg.asText();
            if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) {
                text = text.substr(0, static_cast<std::size_t>(precision));
            }
            const int fill =
                width > static_cast<int>(text.size()) ? width - static_cast<int>(text.size()) : 0;
            if (!leftAlign) {
                pad(sink, fill, u' ');
            }
            sink.putUtf16(text);
            if (leftAlign) {
                pad(sink, fill, u' ');
            }
            break;
        }
        default:
            break;
        }
    }
}

std::string toUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    encodeUtf8(s, 0xFFFD, [&out](char c) { out.push_back(c); });
    return out;
}

std::u16string fromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const char32_t cp = decodeUtf8(s, i);
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

} // namespace velocimo
