#include "history/UsageReport.h"
#include "app/TempDir.h"
#include "history/HistoryTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace veltrum {
namespace {

using test::LocalTime;

// `veltrum --usage` on a known history: one row per day written straight to
// the store, billing periods from the 15th, in a zone whose clocks change
// inside the current period.
class UsageOutput : public testing::Test {
protected:
    UsageOutput() {
        UsageStore store(m_path, StoreMode::Record);
        const int64_t id = store.OpenInterface(m_who.Agent, m_who.Number, m_who.Description)->Id;
        const struct {
            const char* At;
            UsageCounts Counts;
        } rows[] = {
            {"2026-03-20 10:00:00", {5000, 2000, 50, 20, 3600, 60}},
            {"2026-03-19 10:00:00", {7000, 3000, 70, 30, 86400, 0}},
            {"2026-03-15 00:00:00", {1000, 1000, 10, 10, 100, 0}},
            {"2026-03-14 23:59:59", {4000, 4000, 40, 40, 100, 0}},
            {"2026-02-15 00:00:00", {2000, 0, 20, 0, 10, 0}},
            {"2025-01-10 12:00:00", {9, 9, 1, 1, 1, 0}},
        };
        for (const auto& row : rows) {
            const UsageSegment segment{KeysAt(LocalTime(row.At)), row.Counts};
            store.Write(id, {&segment, 1}, StoredReading{}, LocalTime(row.At));
        }
    }

    UsageAnswer Answer(UsageFormat format) {
        return AnswerUsage(m_path, m_who, 15, format, LocalTime("2026-03-20 12:00:00"));
    }

    const test::ZoneFor m_warsaw{"Europe/Warsaw"};
    const test::TempDir m_dir;
    const std::string m_path = m_dir.File("usage.sqlite3");
    const UsageIdentity m_who{"192.168.1.1:161", 2, "eth0, \"uplink\""};
};

TEST_F(UsageOutput, Json) {
    const UsageAnswer answer = Answer(UsageFormat::Json);
    EXPECT_EQ(answer.ExitStatus, 0);
    const std::string head =
        R"({
  "agent": "192.168.1.1:161",
  "interface": 2,
  "description": "eth0, \"uplink\"",
  "today": {"start": "2026-03-20T00:00:00+01:00", "end": "2026-03-21T00:00:00+01:00", "download_octets": 5000, "upload_octets": 2000, "sampled_seconds": 3600, "missed_seconds": 60},
  "yesterday": {"start": "2026-03-19T00:00:00+01:00", "end": "2026-03-20T00:00:00+01:00", "download_octets": 7000, "upload_octets": 3000, "sampled_seconds": 86400, "missed_seconds": 0},
  "period": {"start": "2026-03-15T00:00:00+01:00", "end": "2026-04-15T00:00:00+02:00", "download_octets": 13000, "upload_octets": 6000, "sampled_seconds": 90100, "missed_seconds": 60, "estimated_download_octets": 73174, "estimated_upload_octets": 33772},
  "last_period": {"start": "2026-02-15T00:00:00+01:00", "end": "2026-03-15T00:00:00+01:00", "download_octets": 6000, "upload_octets": 4000, "sampled_seconds": 110, "missed_seconds": 0},
  "all_time": {"start": "2025-01-10T00:00:00+01:00", "end": "2026-03-21T00:00:00+01:00", "download_octets": 19009, "upload_octets": 10009, "sampled_seconds": 90211, "missed_seconds": 60},
  "days": [
    {"start": "2026-02-18T00:00:00+01:00", "end": "2026-02-19T00:00:00+01:00", "download_octets": 0, "upload_octets": 0, "sampled_seconds": 0, "missed_seconds": 0},
)";
    EXPECT_EQ(answer.Out.substr(0, head.size()), head);
    const std::string tail =
        R"(    {"start": "2026-03-15T00:00:00+01:00", "end": "2026-04-15T00:00:00+02:00", "download_octets": 13000, "upload_octets": 6000, "sampled_seconds": 90100, "missed_seconds": 60}
  ]
}
)";
    ASSERT_GE(answer.Out.size(), tail.size());
    EXPECT_EQ(answer.Out.substr(answer.Out.size() - tail.size()), tail);
    // 31 days and 12 periods besides the five figures.
    size_t objects = 0;
    for (size_t at = 0; (at = answer.Out.find("{\"start\"", at)) != std::string::npos; ++at) {
        ++objects;
    }
    EXPECT_EQ(objects, 5u + 31u + 12u);
}

TEST_F(UsageOutput, Csv) {
    const UsageAnswer answer = Answer(UsageFormat::Csv);
    EXPECT_EQ(answer.ExitStatus, 0);
    const std::string head =
        "agent,interface,description,figure,start,end,download_octets,upload_octets,sampled_seconds,"
        "missed_seconds\r\n"
        "192.168.1.1:161,2,\"eth0, "
        "\"\"uplink\"\"\",today,2026-03-20T00:00:00+01:00,2026-03-21T00:00:00+01:00,"
        "5000,2000,3600,60\r\n";
    EXPECT_EQ(answer.Out.substr(0, head.size()), head);
    EXPECT_EQ(std::count(answer.Out.begin(), answer.Out.end(), '\n'), 1 + 5 + 31 + 12);
    EXPECT_NE(answer.Out.find(",periods,2025-04-15T00:00:00+02:00,2025-05-15T00:00:00+02:00,0,0,0,0\r\n"),
              std::string::npos);
    EXPECT_NE(
        answer.Out.find(",days,2026-03-19T00:00:00+01:00,2026-03-20T00:00:00+01:00,7000,3000,86400,0\r\n"),
        std::string::npos);
}

// An agent's text leaves the program as one can read it: escaped in the
// text (no terminal escape sequence, no hidden or reordering character), in
// the CSV never a formula. Totals past 2^64 octets are shown as they are.
TEST(UsageOutputOfAgentText, IsEscapedWhereItGoes) {
    const struct {
        const char* Description;
        const char* InText;
        const char* InCsv;
    } rows[] = {
        {"\x1b]0;owned\x07"
         "eth0",
         "(\\x1B]0;owned\\x07eth0)",
         ",\x1b]0;owned\x07"
         "eth0,"},
        {"=HYPERLINK(\"x\")", "(=HYPERLINK(\"x\"))", ",\"'=HYPERLINK(\"\"x\"\")\","},
        {"+1", "(+1)", ",'+1,"},
        {"-1", "(-1)", ",'-1,"},
        {"@SUM(A1)", "(@SUM(A1))", ",'@SUM(A1),"},
        {"\tcmd", "( cmd)", ",'\tcmd,"},
        {"a\u200Bb\uFEFF", "(a\\u200Bb\\uFEFF)", ",a\u200Bb\uFEFF,"},
        {"\u202Egnp.exe", "(\\u202Egnp.exe)", ",\u202Egnp.exe,"},
    };
    UsageFigures figures;
    figures.Today.Use.InOctets = 10'000'000'000'000'000'000u;
    figures.Today.Use.OutOctets = 10'000'000'000'000'000'000u;
    for (const auto& row : rows) {
        const UsageIdentity who{"127.0.0.1:161", 2, row.Description};
        const std::string text = UsageText(who, figures);
        EXPECT_NE(text.find(row.InText), std::string::npos) << row.Description << "\n" << text;
        EXPECT_NE(UsageCsv(who, figures).find(row.InCsv), std::string::npos) << row.Description;
        EXPECT_NE(text.find("20.00 EB"), std::string::npos) << text;
    }
}

} // namespace
} // namespace veltrum
