#pragma once

// Fixed-capacity UTF-16 texts and the printf-style formatting used for every readout.
// Nothing here allocates, and numbers are always written with '.' whatever the
// process locale is: formatting never consults the C or C++ locale.

#include "shell/core/utf.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velocimo {

// Appends UTF-8 (from format strings and literals) to a UTF-16 sink, one code unit at a time.
// The sink returns false once it is full; everything after that is dropped.
class Utf16Sink {
public:
    Utf16Sink(char16_t* data, std::size_t capacity, std::size_t length)
        : m_data(data), m_capacity(capacity), m_length(length) {}

    void put(char16_t c) {
        if (m_length < m_capacity) {
            m_data[m_length++] = c;
        }
    }
    void putAscii(std::string_view s) {
        for (char c : s) {
            put(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
    }
    void putUtf8(std::string_view s);
    void putUtf16(std::u16string_view s) {
        for (char16_t c : s) {
            put(c);
        }
    }
    std::size_t length() const { return m_length; }

private:
    char16_t* m_data;
    std::size_t m_capacity;
    std::size_t m_length;
};

// One argument of formatText: an integer, a double or a UTF-16 text.
class FormatArg {
public:
    enum class Kind { Int, Double, Text };
    FormatArg(int v) : m_kind(Kind::Int), m_int(v) {}
    FormatArg(long v) : m_kind(Kind::Int), m_int(v) {}
    FormatArg(long long v) : m_kind(Kind::Int), m_int(v) {}
    FormatArg(unsigned v) : m_kind(Kind::Int), m_int(v) {}
    FormatArg(double v) : m_kind(Kind::Double), m_double(v) {}
    FormatArg(std::u16string_view v) : m_kind(Kind::Text), m_text(v) {}
    FormatArg(const char16_t* v) : m_kind(Kind::Text), m_text(v) {}

    Kind kind() const { return m_kind; }
    long long asInt() const { return m_kind == Kind::Double ? static_cast<long long>(0) : m_int; }
    double asDouble() const {
        return m_kind == Kind::Double ? m_double : static_cast<double>(m_int);
    }
    std::u16string_view asText() const { return m_text; }

private:
    Kind m_kind;
    long long m_int = 0;
    double m_double = 0.0;
    std::u16string_view m_text;
};

// printf-style formatting into a sink. The format is UTF-8 ("%d° %d' %d\"" works as written).
// Supported: %%, %d/%i/%u, %f/%lf/%F, %s (UTF-16 text), with the flags '-', '0', '+', ' ',
// a width and a precision. A conversion without a matching argument writes nothing.
void formatInto(Utf16Sink& sink, const char* format, const FormatArg* args, std::size_t count);

// Writes a double as printf's "%.{precision}f" would in the "C" locale (correctly rounded).
void appendFixed(Utf16Sink& sink, double value, int width, int precision, bool zeroPad,
                 bool leftAlign = false, char sign = 0);

// A zero-terminated UTF-16 text of at most N - 1 code units. Every write cuts to capacity.
template <std::size_t N> class FixedText {
    static_assert(N >= 1, "a text needs room for its terminator");

public:
    static constexpr std::size_t kSize = N;
    static constexpr std::size_t kCapacity = N - 1;

    FixedText() = default;
    explicit FixedText(std::u16string_view s) { assign(s); }

    void clear() {
        m_length = 0;
        m_data[0] = 0;
    }
    void assign(std::u16string_view s) {
        clear();
        append(s);
    }
    // Literal texts of the program are UTF-8 ("0°", "Calculating...").
    void assignUtf8(std::string_view s) {
        clear();
        appendUtf8(s);
    }
    template <std::size_t M> void assign(const FixedText<M>& other) { assign(other.view()); }

    void append(std::u16string_view s) {
        Utf16Sink sink(m_data, kCapacity, m_length);
        sink.putUtf16(s);
        finish(sink);
    }
    void appendUtf8(std::string_view s) {
        Utf16Sink sink(m_data, kCapacity, m_length);
        sink.putUtf8(s);
        finish(sink);
    }
    template <std::size_t M> void append(const FixedText<M>& other) { append(other.view()); }

    template <typename... Args> void format(const char* fmt, Args... args) {
        clear();
        appendFormat(fmt, args...);
    }
    template <typename... Args> void appendFormat(const char* fmt, Args... args) {
        Utf16Sink sink(m_data, kCapacity, m_length);
        if constexpr (sizeof...(Args) == 0) {
            formatInto(sink, fmt, nullptr, 0);
        } else {
            const FormatArg list[] = {FormatArg(args)...};
            formatInto(sink, fmt, list, sizeof...(Args));
        }
        finish(sink);
    }

    std::u16string_view view() const { return std::u16string_view(m_data, m_length); }
    const char16_t* c_str() const { return m_data; }
    std::size_t size() const { return m_length; }
    bool empty() const { return m_length == 0; }
    char16_t operator[](std::size_t i) const { return i < m_length ? m_data[i] : 0; }
    // Allocates: for tools, tests and the GUI, never on the sentence path.
    std::string toUtf8() const;

    friend bool operator==(const FixedText& a, std::u16string_view b) { return a.view() == b; }
    friend bool operator==(const FixedText& a, const FixedText& b) { return a.view() == b.view(); }

private:
    void finish(const Utf16Sink& sink) {
        m_length = sink.length();
        m_data[m_length] = 0;
    }

    char16_t m_data[N] = {};
    std::size_t m_length = 0;
};

template <std::size_t N> std::string FixedText<N>::toUtf8() const {
    return velocimo::toUtf8(view());
}

} // namespace velocimo
