#include "support/TestData.h"

#include <cstdlib>
#include <filesystem>

namespace veltrum::test {

std::string TestDataDir() {
    return VELTRUM_TEST_DATA;
}

std::string SharedTestDataDir() {
    if (const char* env = std::getenv("VELTRUM_SHARED_TESTDATA"); env != nullptr && *env != '\0') {
        return std::filesystem::is_directory(env) ? std::string(env) : std::string();
    }
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::weakly_canonical(VELTRUM_SHARED_TESTDATA, ec);
    return !ec && std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

} // namespace veltrum::test
