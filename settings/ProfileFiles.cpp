#include "settings/ProfileFiles.h"

#include "settings/IniFile.h"

#include <sys/stat.h>

namespace veltrum {

namespace {

// Only a regular file (reached directly or through a link) counts as an
// existing profile: a folder or a device named in app.ini does not.
bool regularFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string PointerFilePath(const std::string& programDir) {
    return programDir + kPointerFileName;
}

std::string DefaultProfilePath(const std::string& programDir) {
    return programDir + kDefaultProfileName;
}

std::string FindCurrentProfile(const std::string& programDir) {
    // The start-up load must always end with a usable path, so any failure
    // here quietly means the default profile.
    try {
        const std::string fallback = DefaultProfilePath(programDir);
        const TIniFile pointer(PointerFilePath(programDir));
        std::string path = pointer.ReadString("Profil", "01", fallback);
        if (!regularFileExists(path))
            return fallback;
        return path;
    } catch (...) {
        try {
            return DefaultProfilePath(programDir);
        } catch (...) {
            return std::string();
        }
    }
}

void WritePointerFile(const std::string& programDir, const std::string& profilePath) {
    TIniFile pointer(PointerFilePath(programDir));
    pointer.WriteString("Profil", "01", profilePath);
}

} // namespace veltrum
