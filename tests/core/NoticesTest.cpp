// When a router's notices are due: the agent's outage and return, the rate
// alarms with their hold time, none before a profile names the agent, the
// quota notice's texts.

#include "core/Notices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

using O = PollSample::Outcome;

PollSample sampleOf(char what) {
    PollSample sample;
    sample.Session = "Lab";
    sample.Host = "127.0.0.1";
    switch (what) {
    case 'F': // the agent does not answer; its description reorders and rings
        sample.Result = O::Failure;
        sample.ShownFailure = "No answer from <agent>.";
        sample.Description = "gnp\xE2\x80\xAE.exe\x07\x1B[2J";
        break;
    case 'U': // the first start's default agent, which no profile names yet, is silent
        sample.Result = O::Failure;
        sample.AgentNamed = false;
        break;
    case 'H': // download 800 kbit/s, above the alarm
        sample.Result = O::Reading;
        sample.DownRate = 80;
        break;
    default: // a reading of 100 kbit/s
        sample.Result = O::Reading;
        sample.DownRate = 10;
        break;
    }
    return sample;
}

// One poll a second; each letter a poll, each expected notice the poll's
// second and its title.
TEST(NoticeDecider, AnnouncesOutagesAndAlarmsOnce) {
    struct Row {
        const char* polls;
        std::vector<std::pair<int, std::string>> notices;
    };
    const Row rows[] = {
        {"..FFF.", {}}, // shorter than the outage time
        {"..FFFFFF..", {{6, "Lab: agent unreachable"}, {8, "Lab: agent reachable again"}}},
        {"..FFFFFFFFFF.", {{6, "Lab: agent unreachable"}, {12, "Lab: agent reachable again"}}},
        {".HH..HHH.", {}},                                                    // bursts shorter than the alarm
        {".HHHHHH...", {{4, "Lab: rate alarm"}}},                             // one alarm for one burst
        {".HHHH..HHHH", {{4, "Lab: rate alarm"}}},                            // below too short to arm again
        {".HHHH....HHHH", {{4, "Lab: rate alarm"}, {12, "Lab: rate alarm"}}}, // armed again
        {".HHFHHH", {}},                                                      // a failure breaks the burst
        {"UUUUUUUU...", {}}, // nothing about an agent before a profile names one
    };
    for (const Row& row : rows) {
        NoticeDecider decider({.OutageSeconds = 4, .AlarmDownloadKbps = 500, .AlarmSeconds = 4});
        std::vector<std::pair<int, std::string>> seen;
        const std::string polls = row.polls;
        for (size_t second = 0; second < polls.size(); ++second) {
            for (const Notice& notice : decider.OnSample(sampleOf(polls[second]), int64_t(second) * 1000)) {
                seen.emplace_back(int(second), notice.Title);
                if (notice.Title.ends_with("unreachable")) {
                    EXPECT_NE(notice.Body.find("No answer from <agent>."), std::string::npos);
                    EXPECT_NE(notice.Body.find("(gnp\\u202E.exe\\x07\\x1B[2J)"), std::string::npos)
                        << notice.Body;
                }
            }
        }
        EXPECT_EQ(seen, row.notices) << polls;
    }
}

TEST(QuotaNotice, SaysWhatIsLeftAndWhenThePeriodStartsAgain) {
    const QuotaUse use{45'000'000'000, 50'000'000'000, 90, QuotaDirection::Both};
    const Notice notice = QuotaNotice({90, {90}}, use, "Lab", "3/1/27", NumberLocale{".", ","});
    EXPECT_EQ(notice.Body, "Lab: Quota: 45.0 GB of 50 GB this period (90 %)\n"
                           "5.00 GB left; the period starts again on 3/1/27.");
    EXPECT_EQ(notice.Title, "Lab: 90 % of the monthly quota used");
    EXPECT_FALSE(notice.Critical);
    EXPECT_TRUE(QuotaNotice({100, {100}}, {50'000'000'000, 50'000'000'000, 100}, "Lab", "3/1/27", {".", ","})
                    .Critical);
}

} // namespace
} // namespace veltrum
