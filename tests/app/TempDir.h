#pragma once
// A fresh program folder per test, removed afterwards.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace veltrum::test {

class TempDir final {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-app-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder with its trailing "/", as the program passes it around.
    std::string Dir() const { return m_path.string() + "/"; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_path / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path m_path;
};

} // namespace veltrum::test
