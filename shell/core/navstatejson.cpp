#include "shell/core/navstatejson.h"

#include "shell/core/utf.h"

#include <charconv>
#include <cmath>

namespace velocimo {

namespace {

class JsonMembers {
public:
    explicit JsonMembers(std::string& out) : m_out(out) {}

    template <typename T> void operator()(const char* name, const T& value) {
        key(name);
        put(value);
    }

private:
    void key(const char* name) {
        if (!m_first) {
            m_out += ',';
        }
        m_first = false;
        m_out += '"';
        m_out += name;
        m_out += "\":";
    }
    void put(bool value) { m_out += value ? "true" : "false"; }
    void put(int32_t value) { number(value); }
    void put(double value) {
        if (!std::isfinite(value)) {
            m_out += "null";
            return;
        }
        number(value);
    }
    template <typename T> void number(T value) {
        char buf[32];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
        if (ec == std::errc()) {
            m_out.append(buf, end);
        }
    }
    template <std::size_t N> void put(const FixedText<N>& text) {
        m_out += '"';
        encodeUtf8(text.view(), 0xFFFD, [this](char c) { escaped(c); });
        m_out += '"';
    }
    void put(const Coordinate& c) {
        m_out += '{';
        JsonMembers inner(m_out);
        visitFields(c, inner);
        m_out += '}';
    }
    void escaped(char c) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            m_out += '\\';
            m_out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            m_out += "\\u00";
            m_out += kHex[byte >> 4];
            m_out += kHex[byte & 0xF];
        } else {
            m_out += c;
        }
    }

    std::string& m_out;
    bool m_first = true;
};

} // namespace

void appendNavStateJson(std::string& out, const NavState& nav) {
    JsonMembers members(out);
    visitFields(nav, members);
}

} // namespace velocimo
