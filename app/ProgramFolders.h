#pragma once
// Where the program keeps its files. The portable layout (a build run from
// its build folder, or a copy unpacked into a folder of its own) keeps
// app.ini, the profiles and the chart bitmaps beside the executable. The
// installed layout (the program in /usr/bin, which the user cannot write)
// keeps app.ini and the profiles in $XDG_CONFIG_HOME/veltrum/ and the bitmaps
// in the user's pictures folder, subfolder Veltrum, and the usage history in
// $XDG_DATA_HOME/veltrum/. Which one applies is decided when the program is
// configured (VELTRUM_INSTALL_LAYOUT).

#include <string>

namespace veltrum {

struct ProgramFolders {
    std::string Config;   // app.ini and profiles; ends in "/"
    std::string Pictures; // "Save as BMP"; ends in "/"
    std::string Data;     // the usage history (kUsageFileName); ends in "/"
    bool Installed = false;
};

// The usage history's file in ProgramFolders::Data.
inline constexpr char kUsageFileName[] = "usage.sqlite3";

// The folders of this build's layout; needs a Qt application object.
ProgramFolders FindProgramFolders();

// Creates `path` and any missing parent with mode 0700, as the XDG base
// directory rules ask for the configuration folders; an existing folder keeps
// its mode. Returns an empty string or the reason it failed.
std::string MakePrivateFolder(const std::string& path);

} // namespace veltrum
