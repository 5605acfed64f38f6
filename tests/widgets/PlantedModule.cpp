// Stands in for a veltrum-print.so that someone else put where the program
// must not look for code. It has no print entry point; loading it is enough
// to run its constructor, which leaves the marker file named in
// VELTRUM_PLANTED_MARKER.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void LeaveMarker() {
    if (const char* path = std::getenv("VELTRUM_PLANTED_MARKER")) {
        if (std::FILE* marker = std::fopen(path, "w")) {
            std::fclose(marker);
        }
    }
}

} // namespace
