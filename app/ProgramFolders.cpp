#include "app/ProgramFolders.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace veltrum {

namespace {

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

} // namespace

ProgramFolders FindProgramFolders() {
    ProgramFolders folders;
#ifdef VELTRUM_INSTALL_LAYOUT
    folders.Installed = true;
    folders.Config =
        withSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString()) +
        "veltrum/";
    folders.Pictures =
        withSlash(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString()) +
        "Veltrum/";
    // The history is the user's data, not a setting: $XDG_DATA_HOME
    // (~/.local/share). The recorder makes the folder with mode 0700.
    folders.Data =
        withSlash(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()) +
        "veltrum/";
#else
    folders.Config = withSlash(QCoreApplication::applicationDirPath().toStdString());
    folders.Pictures = folders.Config;
    folders.Data = folders.Config;
#endif
    return folders;
}

std::string MakePrivateFolder(const std::string& path) {
    // One component at a time, so that every folder made gets mode 0700 from
    // the start instead of being tightened after others could open it.
    for (size_t from = 1;;) {
        const size_t end = path.find('/', from);
        const std::string part = path.substr(0, end);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return part + ": " + std::strerror(errno);
        }
        if (end == std::string::npos || end + 1 >= path.size()) {
            break;
        }
        from = end + 1;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return path + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return path + ": " + std::strerror(ENOTDIR);
    }
    return {};
}

} // namespace veltrum
