#include "core/RunningCopies.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace veltrum {

namespace {

// Coordinates beyond this are no desktop's: such a file is not ours.
constexpr int32_t kLargestCoordinate = 1'000'000;

bool isProcessId(const std::string& name, int32_t& pid) {
    const char* end = name.data() + name.size();
    const auto [ptr, ec] = std::from_chars(name.data(), end, pid);
    return !name.empty() && ec == std::errc() && ptr == end && pid > 0;
}

bool alive(int32_t pid) {
    // EPERM: the process exists but belongs to someone else (a reused id).
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool parseArea(const std::string& text, WindowArea& area) {
    const char* p = text.data();
    const char* end = p + text.size();
    for (int32_t* field : {&area.Left, &area.Top, &area.Width, &area.Height}) {
        while (p != end && *p == ' ') {
            ++p;
        }
        const auto [next, ec] = std::from_chars(p, end, *field);
        if (ec != std::errc() || *field < -kLargestCoordinate || *field > kLargestCoordinate) {
            return false;
        }
        p = next;
    }
    return area.Width > 0 && area.Height > 0 && (p == end || *p == '\n');
}

// The folder is made private, and used only if it is a folder of this
// user's that no one else may write: another user's folder, or a link put in
// its place, could make this copy write where it should not.
// The folder without its final "/", which would make lstat follow a link.
std::string folderItself(const std::string& folder) {
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

bool privateFolder(const std::string& named) {
    const std::string folder = folderItself(named);
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return false;
    }
    return (st.st_mode & 077) == 0 || ::chmod(folder.c_str(), 0700) == 0;
}

// The first line of a record: a regular file only (never a FIFO that blocks
// or a link), and no more than a record holds.
bool readRecord(const std::string& path, std::string& line) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    char buffer[64];
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        got = ::read(fd, buffer, sizeof buffer);
    }
    ::close(fd);
    if (got <= 0) {
        return false;
    }
    line.assign(buffer, static_cast<size_t>(got));
    const size_t end = line.find('\n');
    if (end == std::string::npos) {
        return false; // no whole line within a record's length
    }
    line.resize(end);
    return true;
}

bool writeRecord(const std::string& path, const std::string& text) {
    // A file left by a copy that died is removed, never followed.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

} // namespace

RunningCopies::RunningCopies(std::string folder, int32_t pid) : m_folder(std::move(folder)), m_pid(pid) {}

RunningCopies::~RunningCopies() {
    if (m_recorded) {
        std::remove(ownFile().c_str());
    }
}

std::string RunningCopies::ownFile() const {
    return m_folder + std::to_string(m_pid);
}

void RunningCopies::Record(const WindowArea& area) {
    if (m_folder.empty() || (m_recorded && area.Left == m_last.Left && area.Top == m_last.Top &&
                             area.Width == m_last.Width && area.Height == m_last.Height)) {
        return;
    }
    if (!privateFolder(m_folder)) {
        return;
    }
    // Written beside and renamed, so a copy reading meanwhile sees the old
    // place or the new one, never half a line.
    const std::string temporary = ownFile() + ".new";
    const std::string text = std::to_string(area.Left) + ' ' + std::to_string(area.Top) + ' ' +
                             std::to_string(area.Width) + ' ' + std::to_string(area.Height) + '\n';
    if (!writeRecord(temporary, text)) {
        std::remove(temporary.c_str());
        return;
    }
    if (std::rename(temporary.c_str(), ownFile().c_str()) != 0) {
        std::remove(temporary.c_str());
        return;
    }
    m_recorded = true;
    m_last = area;
}

std::vector<WindowArea> RunningCopies::Others() {
    std::vector<WindowArea> areas;
    struct stat st {};
    if (m_folder.empty() || ::lstat(folderItself(m_folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
        return areas;
    }
    DIR* dir = ::opendir(m_folder.c_str());
    if (dir == nullptr) {
        return areas;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        int32_t pid = 0;
        if (!isProcessId(name, pid) || pid == m_pid) {
            continue;
        }
        if (!alive(pid)) {
            std::remove((m_folder + name).c_str());
            continue;
        }
        std::string line;
        WindowArea area;
        if (readRecord(m_folder + name, line) && parseArea(line, area)) {
            areas.push_back(area);
        }
    }
    ::closedir(dir);
    return areas;
}

} // namespace veltrum
