#pragma once
// The folder that "Save as BMP" writes into.

#include <string>
#include <utility>

namespace veltrum {

struct BitmapFolder {
    // Implicit: a plain folder (the portable layout's program folder) is the
    // usual case.
    BitmapFolder(std::string path, bool createOnSave = false) // NOLINT(google-explicit-constructor)
        : Path(std::move(path)), CreateOnSave(createOnSave) {}
    BitmapFolder(const char* path) : Path(path) {} // NOLINT(google-explicit-constructor)

    std::string Path; // ends in "/"
    // The installed layout's pictures subfolder is the program's to make, on
    // the first save; the program's own folder is never recreated.
    bool CreateOnSave = false;
};

} // namespace veltrum
