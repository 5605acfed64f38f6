#pragma once
// The pointer file app.ini (which profile is current) and the default
// profile, both in the settings folder: the program's own folder in the
// portable layout, ~/.config/veltrum/ when installed. `programDir` always
// ends in "/".

#include <chrono>
#include <string>
#include <vector>

namespace veltrum {

inline constexpr const char* kPointerFileName = "app.ini";
inline constexpr const char* kDefaultProfileName = "Default.vlq";
inline constexpr const char* kProfileExtension = "vlq";

std::string PointerFilePath(const std::string& programDir);
std::string DefaultProfilePath(const std::string& programDir);

// The profile named by app.ini, or Default.vlq in the program's folder when
// the pointer file is missing or unreadable or names a file that does not
// exist. Never throws.
std::string FindCurrentProfile(const std::string& programDir);

// Removes what writes killed before their rename left behind (the hidden
// temporary files of the atomic replace, which may hold the community
// string) of app.ini in the program's folder and of `profilePath` beside it:
// the two files the program writes. Only files older than `minAge` go: a
// second running copy may be writing one right now. Files of any other name,
// other profiles' among them, stay. Never throws.
void RemoveStaleTemporaries(const std::string& programDir, const std::string& profilePath,
                            std::chrono::seconds minAge = std::chrono::minutes(1));

// Records `profilePath` as the current profile; throws EIniFileException.
void WritePointerFile(const std::string& programDir, const std::string& profilePath);

// The profiles app.ini remembers open together at the last exit, in order,
// when there were several; otherwise none. Never throws.
std::vector<std::string> RememberedProfiles(const std::string& programDir);
// Writes that list whole (section `Otwarte`: `Ile`, then `01`, `02`...):
// no entry of an earlier, longer list stays. Throws EIniFileException.
void WriteOpenProfiles(const std::string& programDir, const std::vector<std::string>& profiles);

} // namespace veltrum
