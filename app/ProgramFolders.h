#pragma once
// Where the program keeps its files. The portable layout (a build run from
// its build folder, or a copy unpacked into a folder of its own) keeps
// app.ini, the profiles and the chart bitmaps beside the executable. The
// installed layout (the program in /usr/bin, which the user cannot write)
// keeps app.ini and the profiles in $XDG_CONFIG_HOME/veltrum/ and the bitmaps
// in the user's pictures folder, subfolder Veltrum. Which one applies is
// decided when the program is configured (VELTRUM_INSTALL_LAYOUT).

#include <string>

namespace veltrum {

struct ProgramFolders {
    std::string Config;   // app.ini and profiles; ends in "/"
    std::string Pictures; // "Save as BMP"; ends in "/"
    bool Installed = false;
};

// The folders of this build's layout; needs a Qt application object.
ProgramFolders FindProgramFolders();

// Creates `path` and any missing parent with mode 0700, as the XDG base
// directory rules ask for the configuration folders; an existing folder keeps
// its mode. Returns an empty string or the reason it failed.
std::string MakePrivateFolder(const std::string& path);

} // namespace veltrum
