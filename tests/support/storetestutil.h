#pragma once

// A private config folder per test: XDG_CONFIG_HOME points into a fresh temporary folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace velocimo::testutil {

class ConfigFolder {
public:
    ConfigFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velocimo-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        m_root = pattern;
        setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
    }
    ~ConfigFolder() {
        std::error_code ec;
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all, ec);
        std::filesystem::permissions(folder(), std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_root, ec);
    }
    std::filesystem::path folder() const { return m_root / "Korvane"; }
    std::filesystem::path file() const { return folder() / "Velocimo.reg"; }

    void write(const std::string& bytes) const {
        std::filesystem::create_directories(folder());
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string read() const { return read(file()); }

private:
    std::filesystem::path m_root;
};

} // namespace velocimo::testutil
