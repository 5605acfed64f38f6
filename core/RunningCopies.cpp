#include "core/RunningCopies.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fstream>
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
    ::mkdir(m_folder.c_str(), 0700); // the runtime directory itself is the user's alone
    // Written beside and renamed, so a copy reading meanwhile sees the old
    // place or the new one, never half a line.
    const std::string temporary = ownFile() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << area.Left << ' ' << area.Top << ' ' << area.Width << ' ' << area.Height << '\n';
        if (!out.flush()) {
            std::remove(temporary.c_str());
            return;
        }
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
    DIR* dir = m_folder.empty() ? nullptr : ::opendir(m_folder.c_str());
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
        std::ifstream in(m_folder + name);
        std::string line;
        WindowArea area;
        if (std::getline(in, line) && line.size() < 64 && parseArea(line, area)) {
            areas.push_back(area);
        }
    }
    ::closedir(dir);
    return areas;
}

} // namespace veltrum
