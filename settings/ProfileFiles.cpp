#include "settings/ProfileFiles.h"

#include "settings/IniFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <ctime>
#include <string_view>
#include <utility>

#include <unistd.h>

namespace veltrum {

namespace {

// Only a regular file (reached directly or through a link) counts as an
// existing profile: a folder or a device named in app.ini does not.
bool regularFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "dir/" and "name" of a path; the folder is "./" for a bare name.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {"./", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Removes each regular file in `dir` (not a link, not a folder) that
// `isOwnTemporary` accepts and that was last written before `cutoff`.
template <class Predicate>
void removeOldTemporaries(const std::string& dir, time_t cutoff, Predicate isOwnTemporary) {
    DIR* folder = ::opendir(dir.c_str());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (name.empty() || name.front() != '.' || !isOwnTemporary(name))
            continue;
        const std::string path = dir + std::string(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < cutoff)
            ::unlink(path.c_str());
    }
    ::closedir(folder);
}

} // namespace

void RemoveStaleTemporaries(const std::string& programDir, const std::string& profilePath,
                            std::chrono::seconds minAge) {
    const time_t cutoff = ::time(nullptr) - static_cast<time_t>(minAge.count());
    // Only the files the program writes: app.ini and the current profile.
    // Other profiles in the folder are not the program's to tidy up, and
    // neither is any file of a name the store does not make.
    removeOldTemporaries(programDir, cutoff, [](std::string_view name) {
        return IsReplaceTemporaryName(name, kPointerFileName);
    });
    const auto [profileDir, profileName] = splitPath(profilePath);
    if (profileName.empty())
        return;
    removeOldTemporaries(profileDir, cutoff, [&name = profileName](std::string_view n) {
        return IsReplaceTemporaryName(n, name);
    });
}

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

namespace {

// app.ini's list of the profiles open together.
const char kOpenSection[] = "Otwarte";
const char kOpenCount[] = "Ile";

std::string openIdent(size_t index) {
    const std::string number = std::to_string(index + 1);
    return number.size() < 2 ? "0" + number : number;
}

} // namespace

std::vector<std::string> RememberedProfiles(const std::string& programDir) {
    const TIniFile ini(PointerFilePath(programDir));
    const int32_t count = ini.ReadInteger(kOpenSection, kOpenCount, 0);
    std::vector<std::string> profiles;
    for (int32_t i = 0; count > 1 && i < count && i < 99; ++i) {
        std::string path = ini.ReadString(kOpenSection, openIdent(static_cast<size_t>(i)), "");
        if (!path.empty()) {
            profiles.push_back(std::move(path));
        }
    }
    return profiles;
}

void WriteOpenProfiles(const std::string& programDir, const std::vector<std::string>& profiles) {
    std::vector<std::pair<std::string, std::string>> entries{{kOpenCount, std::to_string(profiles.size())}};
    for (size_t i = 0; i < profiles.size(); ++i) {
        entries.emplace_back(openIdent(i), profiles[i]);
    }
    TIniFile(PointerFilePath(programDir)).WriteSection(kOpenSection, entries);
}

} // namespace veltrum
