#pragma once
// Where the main windows of the program's other running copies stand. A copy
// started with a profile saved from a running one would open exactly over it;
// so each copy keeps its main window's rectangle in a small file named by its
// process id, in a folder of the user's runtime directory
// ($XDG_RUNTIME_DIR/veltrum/), and removes the file when it ends. A file left
// behind by a copy that died is told by its process id and removed.

#include "core/StartupLoad.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum {

class RunningCopies final {
public:
    // `folder` ends in "/" and is made (mode 0700) at the first record;
    // empty: nothing is recorded or read. `pid` names this copy's file.
    RunningCopies(std::string folder, int32_t pid);
    // Removes this copy's file.
    ~RunningCopies();
    RunningCopies(const RunningCopies&) = delete;
    RunningCopies& operator=(const RunningCopies&) = delete;

    // Keeps `area` as this copy's main window. A failure only means other
    // copies do not step aside: it is ignored.
    void Record(const WindowArea& area);
    // The main windows of the other copies alive now. Files of copies that
    // are gone are removed; unreadable ones are passed over.
    std::vector<WindowArea> Others();

private:
    std::string ownFile() const;

    std::string m_folder;
    int32_t m_pid;
    bool m_recorded = false;
    WindowArea m_last;
};

} // namespace veltrum
