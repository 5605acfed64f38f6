// The monthly quota: the use that counts, its text, the thresholds reached
// and the announcements' memory across restarts.

#include "core/Quota.h"
#include "app/TempDir.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::TempDir;

constexpr uint64_t GB = kOctetsPerGB;
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
const NumberLocale kEnUs{".", ","};

int32_t highest(const std::optional<QuotaCrossing>& crossing) {
    return crossing ? crossing->Highest : 0;
}

TEST(QuotaUseOf, CountsTheChosenDirectionsAndSaysSo) {
    struct Row {
        uint64_t limitGB;
        QuotaDirection direction;
        uint64_t download, upload;
        const char* text; // nullptr: no quota
        int32_t threshold;
    };
    using D = QuotaDirection;
    // clang-format off
    const Row rows[] = {
        {0,       D::Both,     5 * GB,           5 * GB,  nullptr, 0},
        {50,      D::Both,     10 * GB,          2300000000, "Quota: 12.3 GB of 50 GB this period (24 %)", 0},
        // Percent is truncated: one octet short of 80 % is 79 %.
        {50,      D::Both,     40 * GB - 1,      0,       "Quota: 40.0 GB of 50 GB this period (79 %)", 0},
        {50,      D::Download, 40 * GB,          30 * GB, "Download quota: 40.0 GB of 50 GB this period (80 %)", 80},
        {50,      D::Upload,   40 * GB,          45 * GB, "Upload quota: 45.0 GB of 50 GB this period (90 %)", 90},
        {1000,    D::Both,     600 * GB,         500 * GB, "Quota: 1.10 TB of 1,000 GB this period (110 %)", 100},
        {1000000, D::Both,     kMax,             kMax,    "Quota: 18.4 EB of 1,000,000 GB this period (1844674 %)", 100},
    };
    // A fraction of a GB, and what was used before recording, counted in.
    QuotaUse half = *QuotaUseOf({GB / 2 * 3, D::Both, 1}, GB, 0, GB / 5);
    half.Since = 1765152000; // 2025-12-08 00:00 UTC
    EXPECT_EQ(QuotaText(half, kEnUs), "Quota: 1.20 GB of 1.5 GB since 2025-12-08 (80 %), 200 MB of it before recording");
    // clang-format on
    for (const Row& row : rows) {
        const std::optional<QuotaUse> use =
            QuotaUseOf({row.limitGB * GB, row.direction, 1}, row.download, row.upload);
        ASSERT_EQ(use.has_value(), row.text != nullptr) << row.limitGB;
        if (use) {
            EXPECT_EQ(QuotaText(*use, kEnUs), row.text);
            EXPECT_EQ(QuotaThresholdReached(*use), row.threshold) << row.text;
        }
    }
}

TEST(DecimalVolumeText, ThreeSignificantDigitsInDecimalUnits) {
    const std::pair<uint64_t, const char*> rows[] = {
        {0, "0 B"},         {999, "999 B"},      {1000, "1.00 kB"},
        {1234, "1.23 kB"},  {9995, "10.0 kB"},   {99949, "99.9 kB"},
        {999499, "999 kB"}, {999500, "1.00 MB"}, {4520000000, "4.52 GB"},
        {kMax, "18.4 EB"},
    };
    for (const auto& [octets, text] : rows) {
        EXPECT_EQ(DecimalVolumeText(octets, kEnUs), text) << octets;
    }
    EXPECT_EQ(DecimalVolumeText(1234567, {",", "."}), "1,23 MB");
}

// Each row is a check of the period's use; `restart` reads the memory anew
// from its file, as the next start does.
TEST(QuotaAnnouncements, EachThresholdOncePerPeriodAcrossRestarts) {
    struct Row {
        int64_t period;
        uint64_t limitGB;
        QuotaDirection direction;
        uint64_t used;
        bool restart;
        int32_t due; // 0: nothing to announce
    };
    constexpr int64_t kMarch = 1772323200; // any instant stands for a period's start
    constexpr int64_t kApril = kMarch + 31 * 86400;
    using D = QuotaDirection;
    // clang-format off
    const Row rows[] = {
        {kMarch, 50,  D::Both,     39 * GB, false, 0},
        {kMarch, 50,  D::Both,     40 * GB, false, 80},
        {kMarch, 50,  D::Both,     41 * GB, false, 0},
        {kMarch, 50,  D::Both,     41 * GB, true,  0},   // a restart remembers 80
        {kMarch, 50,  D::Both,     50 * GB, true,  100}, // 90 and 100 together: one, the highest
        {kMarch, 50,  D::Both,     60 * GB, true,  0},
        {kMarch, 100, D::Both,     80 * GB, false, 80},  // another quota counts anew
        {kMarch, 100, D::Download, 95 * GB, false, 90},  // and so does another direction
        {kApril, 100, D::Download, 95 * GB, true,  90},  // a new period too
        {kApril, 100, D::Download, 99 * GB, true,  0},
    };
    // clang-format on
    TempDir dir;
    const std::string path = QuotaAnnouncementsPath(dir.File("Office.vlq"));
    EXPECT_EQ(path, dir.File("Office.quota"));
    std::optional<QuotaAnnouncements> memory(std::in_place, path);
    int line = 0;
    for (const Row& row : rows) {
        ++line;
        if (row.restart) {
            memory.emplace(path);
        }
        const QuotaUse use = *QuotaUseOf({row.limitGB * GB, row.direction, 1}, row.used, 0);
        EXPECT_EQ(highest(memory->Due(row.period, use)), row.due) << "row " << line;
    }

    // A file that does not decode is no announcement yet; one that cannot
    // be written keeps the announcement for the run.
    const QuotaUse use = *QuotaUseOf({50 * GB, D::Both, 1}, 45 * GB, 0);
    for (const char* text :
         {"[Announced]\n01=garbage\n", "[Announced]\n01=1 2 3\n", "[Announced]\n01=1 2 3 4 5\n"}) {
        dir.Write("Office.quota", text);
        EXPECT_EQ(highest(QuotaAnnouncements(path).Due(kMarch, use)), 90) << text;
    }
    QuotaAnnouncements unwritable(dir.File("missing/Office.quota"));
    EXPECT_EQ(highest(unwritable.Due(kMarch, use)), 90);
    EXPECT_EQ(highest(unwritable.Due(kMarch, use)), 0);
}

TEST(QuotaAlertFor, TitleAndBodyNameTheThresholdAndTheUse) {
    const QuotaUse use = *QuotaUseOf({50 * GB, QuotaDirection::Both, 1}, 45 * GB, 0);
    const QuotaAlert ninety = QuotaAlertFor({90, {90}}, use, "Office", kEnUs);
    EXPECT_EQ(ninety.Title, "90 % of the monthly quota used");
    EXPECT_EQ(ninety.Body, "Office: Quota: 45.0 GB of 50 GB this period (90 %)");
    EXPECT_EQ(QuotaAlertFor({100, {100}}, use, "", kEnUs).Title, "The monthly quota is used up");
    // Use that leapt over several thresholds between two checks names them all.
    const QuotaUse over = *QuotaUseOf({50 * GB, QuotaDirection::Both, 1}, 52 * GB, 0);
    const std::optional<QuotaCrossing> crossing = QuotaThresholdsCrossed(0, over);
    ASSERT_TRUE(crossing);
    EXPECT_EQ(*crossing, (QuotaCrossing{100, {80, 90, 100}}));
    EXPECT_EQ(QuotaAlertFor(*crossing, over, "Office", kEnUs).Body,
              "Office: Quota: 52.0 GB of 50 GB this period (104 %)\nPassed at once: 80 %, 90 % and 100 %.");
    EXPECT_EQ(QuotaThresholdsCrossed(80, over)->Passed, (std::vector<int32_t>{90, 100}));
    EXPECT_FALSE(QuotaThresholdsCrossed(100, over));
}

// What the quota field takes, how the profile keeps it, and what it refuses.
TEST(ParseQuotaSize, DecimalsInEitherSeparatorAndAUnit) {
    struct Row {
        const char* typed;
        std::optional<uint64_t> octets; // nullopt: refused at OK
        const char* kept;
    };
    // clang-format off
    const Row rows[] = {
        {"150",         150 * GB,       "150"},
        {" 0 ",         0,              "0"},
        {"2.5",         GB * 5 / 2,     "2.5"},
        {"1,5",         GB * 3 / 2,     "1.5"},
        {"150 GB",      150 * GB,       "150"},
        {"1.5gb",       GB * 3 / 2,     "1.5"},
        {"2 TB",        2000 * GB,      "2000"},
        {"1,25 TB",     1250 * GB,      "1250"},
        {"0.000000001", 1,              "0.000000001"},
        {".5",          GB / 2,         "0.5"},
        {"1000000",     1000000 * GB,   "1000000"},
        {"1000001",     std::nullopt,   nullptr},
        {"0.0000000001", std::nullopt,  nullptr}, // finer than an octet
        {"1.5.2",       std::nullopt,   nullptr},
        {"abc",         std::nullopt,   nullptr},
        {"",            std::nullopt,   nullptr},
        {"GB",          std::nullopt,   nullptr},
        {"-5",          std::nullopt,   nullptr},
        {"5 MB",        std::nullopt,   nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(ParseQuotaSize(row.typed), row.octets) << row.typed;
        if (row.octets) {
            EXPECT_EQ(QuotaSizeSetting(*row.octets), row.kept) << row.typed;
            EXPECT_EQ(QuotaSizeOfSetting(row.kept), *row.octets) << row.typed;
        }
    }
    // A hand-edited profile: too large is held at the largest, a word is none.
    EXPECT_EQ(QuotaSizeOfSetting("2000000"), 1000000 * GB);
    EXPECT_EQ(QuotaSizeOfSetting("-5"), 0u);
    EXPECT_EQ(QuotaSizeRefusal("Quota (GB, 0: none)", "lots")
                  .rfind("\"Quota (GB, 0: none)\" cannot be \"lots\".", 0),
              0u);
}

} // namespace
} // namespace veltrum
