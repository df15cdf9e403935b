#include "soundpaths.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace velocimo {

namespace {

namespace fs = std::filesystem;

bool fitsPathText(const fs::path& p) {
    return fromUtf8(p.string()).size() <= PathText::kCapacity;
}

// All four names in folder must fit a settings text, or the folder is no use.
bool fitsAll(const fs::path& folder) {
    for (const char* name : {kFixSoundFile, kLostFixSoundFile, kWarnSoundFile, kOverSoundFile}) {
        if (!fitsPathText(folder / name)) {
            return false;
        }
    }
    return true;
}

SoundDefaults pathsIn(const fs::path& folder) {
    SoundDefaults d;
    d.fix.assignUtf8((folder / kFixSoundFile).string());
    d.lostFix.assignUtf8((folder / kLostFixSoundFile).string());
    d.warn.assignUtf8((folder / kWarnSoundFile).string());
    d.over.assignUtf8((folder / kOverSoundFile).string());
    return d;
}

} // namespace

SoundDefaults defaultSoundPaths(const std::string& executableDir) {
    std::vector<fs::path> candidates;
    if (!executableDir.empty()) {
        std::error_code ec;
        fs::path exe = fs::absolute(fs::path(executableDir), ec);
        if (ec) {
            exe = fs::path(executableDir);
        }
        candidates.push_back((exe / ".." / "share" / "velocimo" / "sounds").lexically_normal());
        candidates.push_back(
            (exe / ".." / ".." / "share" / "velocimo" / "sounds").lexically_normal());
    }
#ifdef VELOCIMO_INSTALL_SOUNDS_DIR
    candidates.push_back(fs::path(VELOCIMO_INSTALL_SOUNDS_DIR).lexically_normal());
#endif

    const fs::path* fallback = nullptr;
    for (const fs::path& folder : candidates) {
        if (!fitsAll(folder)) {
            continue;
        }
        if (fallback == nullptr) {
            fallback = &folder;
        }
        std::error_code ec;
        if (fs::is_regular_file(folder / kFixSoundFile, ec)) {
            return pathsIn(folder);
        }
    }
    return fallback != nullptr ? pathsIn(*fallback) : SoundDefaults{};
}

} // namespace velocimo
