#include "history/UsageReport.h"
#include "app/TempDir.h"
#include "history/HistoryTest.h"
#include "history/UsageRecorder.h"

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
        return AnswerUsage(m_path, m_who, QuotaSettings{.BillingDay = 15}, format,
                           LocalTime("2026-03-20 12:00:00"));
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
  "recorded_since": "2025-01-10T12:59:59+01:00",
  "today": {"start": "2026-03-20T00:00:00+01:00", "end": "2026-03-21T00:00:00+01:00", "download_octets": 5000, "upload_octets": 2000, "sampled_seconds": 3600, "missed_seconds": 60},
  "yesterday": {"start": "2026-03-19T00:00:00+01:00", "end": "2026-03-20T00:00:00+01:00", "download_octets": 7000, "upload_octets": 3000, "sampled_seconds": 86400, "missed_seconds": 0},
  "period": {"start": "2026-03-15T00:00:00+01:00", "end": "2026-04-15T00:00:00+02:00", "download_octets": 13000, "upload_octets": 6000, "sampled_seconds": 90100, "missed_seconds": 60, "estimated_download_octets": 385931, "estimated_upload_octets": 178122, "first_period": false},
  "last_period": {"start": "2026-02-15T00:00:00+01:00", "end": "2026-03-15T00:00:00+01:00", "download_octets": 6000, "upload_octets": 4000, "sampled_seconds": 110, "missed_seconds": 0},
  "all_time": {"start": "2025-01-10T12:59:59+01:00", "end": "2026-03-21T00:00:00+01:00", "download_octets": 19009, "upload_octets": 10009, "sampled_seconds": 90211, "missed_seconds": 60},
  "quota": null,
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
        "missed_seconds,estimated_download_octets,estimated_upload_octets,quota_limit_octets,quota_direction,"
        "quota_used_octets,quota_percent\r\n"
        "192.168.1.1:161,2,\"eth0, "
        "\"\"uplink\"\"\",today,2026-03-20T00:00:00+01:00,2026-03-21T00:00:00+01:00,"
        "5000,2000,3600,60,,,,,,\r\n";
    EXPECT_EQ(answer.Out.substr(0, head.size()), head);
    EXPECT_EQ(std::count(answer.Out.begin(), answer.Out.end(), '\n'), 1 + 5 + 31 + 12);
    EXPECT_NE(
        answer.Out.find(",periods,2025-04-15T00:00:00+02:00,2025-05-15T00:00:00+02:00,0,0,0,0,,,,,,\r\n"),
        std::string::npos);
    EXPECT_NE(answer.Out.find(
                  ",days,2026-03-19T00:00:00+01:00,2026-03-20T00:00:00+01:00,7000,3000,86400,0,,,,,,\r\n"),
              std::string::npos);
}

// A new install: recording began on 18 March at 10:00, inside the period
// that began on the 15th. The days and periods before it are left out, the
// period runs "since" then, the estimate goes by the recorded time alone and
// what the provider counted before recording joins the quota's use.
TEST(UsageFigures, FirstPeriodRunsSinceTheFirstRecording) {
    const test::ZoneFor warsaw("Europe/Warsaw");
    const test::TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    const UsageIdentity who{"127.0.0.1:161", 1, "lo"};
    {
        UsageStore store(path, StoreMode::Record);
        const int64_t id = store.OpenInterface(who.Agent, who.Number, who.Description)->Id;
        // 2 GB down a day from 10:00 on the 18th, a 90-second gap on the 19th.
        const struct {
            const char* At;
            UsageCounts Counts;
        } rows[] = {
            {"2026-03-18 10:00:00", {1'000'000'000, 100'000'000, 0, 0, 3600, 0}},
            {"2026-03-18 11:00:00", {1'000'000'000, 100'000'000, 0, 0, 46800, 0}},
            {"2026-03-19 00:00:00", {2'000'000'000, 200'000'000, 0, 0, 86310, 90}},
        };
        for (const auto& row : rows) {
            const UsageSegment segment{KeysAt(LocalTime(row.At)), row.Counts};
            store.Write(id, {&segment, 1}, StoredReading{}, LocalTime(row.At));
        }
    }
    const int64_t now = LocalTime("2026-03-20 10:00:00");
    for (const uint64_t usedBefore : {uint64_t{0}, 5 * kOctetsPerGB}) {
        const QuotaSettings quota{10 * kOctetsPerGB, QuotaDirection::Download, 15, usedBefore};
        UsageStore store(path, StoreMode::Read);
        const UsageFigures figures = QueryFigures(store, 1, now, quota);
        EXPECT_EQ(figures.FirstRecorded, LocalTime("2026-03-18 10:00:00"));
        EXPECT_TRUE(figures.FirstPeriod);
        EXPECT_FALSE(figures.LastPeriod.Recorded);
        // Two days recorded of the period's 31, 38 hours of them counted: 4 GB
        // carried on at the pace of the counted seconds over the 27 days from
        // the first recording to the period's end.
        ASSERT_TRUE(figures.PeriodEstimate);
        __extension__ typedef __int128 Wide;
        const int64_t recorded = figures.Period.Use.Sampled;
        const int64_t rest = figures.Period.End - figures.FirstRecorded;
        EXPECT_EQ(figures.PeriodEstimate->Download,
                  static_cast<uint64_t>(4'000'000'000 * static_cast<Wide>(rest) / recorded));
        ASSERT_TRUE(figures.Quota);
        EXPECT_EQ(figures.Quota->Used, 4 * kOctetsPerGB + usedBefore);
        EXPECT_EQ(figures.Quota->Percent, usedBefore == 0 ? 40 : 90);

        const std::string text = UsageText(who, figures);
        EXPECT_NE(text.find("This period since 2026-03-18"), std::string::npos) << text;
        EXPECT_NE(text.find("Last period                  not recorded"), std::string::npos) << text;
        // 90 s missed reads as two minutes, never as none.
        EXPECT_NE(text.find("0h 02m"), std::string::npos) << text;
        EXPECT_EQ(text.find("2026-03-17"), std::string::npos) << text;
        EXPECT_NE(text.find(usedBefore == 0 ? "used 4.00 GB (40 %); resets on 2026-04-15"
                                            : "used 9.00 GB (90 %), of which 5.00 GB before recording"),
                  std::string::npos)
            << text;
        const std::string json = UsageJson(who, figures);
        EXPECT_NE(json.find("\"last_period\": null"), std::string::npos);
        EXPECT_NE(json.find("\"quota\": {\"limit_octets\": 10000000000, \"direction\": \"download\""),
                  std::string::npos)
            << json;
        // Three days and one period, nothing from before the install.
        EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 1 + 4 + 1 + 3 + 1); // last period: null
        const std::string csv = UsageCsv(who, figures);
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 4 + 3 + 1) << csv;
    }
}

// Figures up to the poll: four minutes into recording, with nothing written
// yet, the counts waiting in the recorder show, the quota is crossed between
// two writes, and no estimate is made from so little time, in any form.
TEST(UsageFigures, CountsNotWrittenYetAndNoEarlyEstimate) {
    const test::ZoneFor warsaw("Europe/Warsaw");
    const test::TempDir dir;
    const std::string path = dir.File("usage.sqlite3");
    const int64_t start = LocalTime("2026-03-20 10:00:00");
    UsageRecorder recorder(path, "127.0.0.1:161", 1, "lo", RecorderOptions{.FlushEvery = 600});
    test::Feed(recorder, start, start + 240, 1, 10'000'000);               // 2.4 GB in four minutes
    ASSERT_EQ(test::TotalOf(path, "127.0.0.1:161", 1, "lo").InOctets, 0u); // nothing written yet
    const QuotaSettings quota{2 * kOctetsPerGB, QuotaDirection::Both, 15, 0};
    const UsageFigures figures =
        QueryFigures(*recorder.Store(), recorder.InterfaceId(), start + 240, quota, recorder.Pending());
    EXPECT_EQ(figures.Today.Use.InOctets, 2'400'000'000u);
    EXPECT_EQ(figures.Hours.back().Use.InOctets, 2'400'000'000u);
    EXPECT_EQ(figures.FirstRecorded, start);
    ASSERT_TRUE(figures.Quota);
    EXPECT_EQ(figures.Quota->Percent, 120);
    EXPECT_FALSE(figures.PeriodEstimate);
    const UsageIdentity who{"127.0.0.1:161", 1, "lo"};
    EXPECT_NE(UsageJson(who, figures).find("\"estimated_download_octets\": null"), std::string::npos);
    EXPECT_NE(UsageText(who, figures).find("estimate to its end        after an hour of recording"),
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
