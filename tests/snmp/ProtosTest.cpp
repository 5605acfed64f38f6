// The PROTOS c06-snmpv1 request test material (OUSPG, University of Oulu):
// about 29,500 datagrams that break every field's encoding or content. Each
// must go through ParseMessage as sent and, with its PDU tag rewritten to a
// GetResponse, as a hostile reply; the sanitizer build reports any read past
// the data. The archives are read in place and unpacked into a temp folder.
#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/SnmpInfo.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace veltrum;
namespace fs = std::filesystem;

namespace {

class TempDir final {
public:
    TempDir() {
        // 29,500 small files: a memory-backed folder keeps the unpacking cheap.
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "veltrum-protos-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) {
            fs::remove_all(m_path, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// Where a tolerant reading finds the PDU tag: after the outer header, the
// version and the community. Returns npos when those cannot be read.
std::size_t findPduTag(const std::string& data) {
    std::size_t pos = 1;
    if (!DecodeLength(data, pos)) {
        return std::string::npos;
    }
    int32_t type = 0;
    std::string text;
    if (!tryReadItem(data, pos, type, text) || !tryReadItem(data, pos, type, text)) {
        return std::string::npos;
    }
    if (pos < data.size() && (static_cast<uint8_t>(data[pos]) & 0xF0) == 0xA0) {
        return pos;
    }
    return std::string::npos;
}

struct Counts {
    int files = 0;
    int rewritten = 0;
};

Counts parseArchive(const std::string& archive) {
    Counts counts;
    TempDir dir;
    EXPECT_FALSE(dir.path().empty());
    const std::string command = "tar -xJf '" + archive + "' -C '" + dir.path().string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;

    test::FakeMessageOwner owner;
    TSNMPInfo message(owner);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::string data(static_cast<std::size_t>(entry.file_size()), '\0');
        std::ifstream in(entry.path(), std::ios::binary);
        in.read(data.data(), static_cast<std::streamsize>(data.size()));
        message.ResetMessage();
        message.ParseMessage(data);
        // Whatever was read, the lists stay paired.
        EXPECT_EQ(message.OidTexts.size(), message.ValueTexts.size()) << entry.path();
        const std::size_t tag = findPduTag(data);
        if (tag != std::string::npos) {
            data[tag] = static_cast<char>(0xA2);
            message.ResetMessage();
            message.ParseMessage(data);
            ++counts.rewritten;
        }
        ++counts.files;
    }
    return counts;
}

} // namespace

TEST(ParseMessage, ProtosEncodingCases) {
    VELTRUM_REQUIRE_SHARED_TESTDATA(shared);
    const Counts counts =
        parseArchive(shared + "/snmp-captures/protos-c06-snmpv1/c06-snmpv1-req-enc-r1-testcases.tar.xz");
    EXPECT_EQ(counts.files, 18915);
    EXPECT_GT(counts.rewritten, 10000);
}

TEST(ParseMessage, ProtosApplicationCases) {
    VELTRUM_REQUIRE_SHARED_TESTDATA(shared);
    const Counts counts =
        parseArchive(shared + "/snmp-captures/protos-c06-snmpv1/c06-snmpv1-req-app-r1-testcases.tar.xz");
    EXPECT_EQ(counts.files, 10601);
    EXPECT_GT(counts.rewritten, 10000);
}
