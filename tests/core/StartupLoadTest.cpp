#include "core/StartupLoad.h"
#include "app/TempDir.h"
#include "core/SettingsTable.h"
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace veltrum {
namespace {

using test::TempDir;

constexpr int32_t kScreenW = 1280;
constexpr int32_t kScreenH = 1024;

std::string Profile(std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::string text;
    for (const auto& [key, value] : entries) {
        text += std::string("[") + key + "]\n01=" + value + "\n";
    }
    return text;
}

TEST(LoadMonitorState, FirstStartWithNoFilesTakesEveryDefault) {
    TempDir dir;
    MonitorState state;
    const WindowPosition main = LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);

    EXPECT_EQ(state.ProfilePath, dir.Dir() + "Default.vlq");
    EXPECT_EQ(main.Top, 150);
    EXPECT_EQ(main.Left, 150);
    EXPECT_EQ(state.GraphTop, 170);
    EXPECT_EQ(state.GraphLeft, 170);
    EXPECT_EQ(state.PacketGraphTop, 190);
    EXPECT_EQ(state.PacketGraphLeft, 190);
    EXPECT_EQ(state.SessionName, "Veltrum");
    EXPECT_EQ(state.AgentHost, "192.168.1.1");
    EXPECT_EQ(state.AgentCommunity, "qorvex");
    EXPECT_EQ(state.InterfaceNumber, 1);
    EXPECT_EQ(state.DownloadScale, 1024);
    EXPECT_EQ(state.UploadScale, 1024);
    EXPECT_EQ(state.DownloadColor, 0x0000FFFFu);
    EXPECT_EQ(state.UploadColor, 0x000000FFu);
    EXPECT_TRUE(state.ShowAverages);
    EXPECT_TRUE(state.AutoScale);
    EXPECT_EQ(state.TimeoutMs, 250);
    EXPECT_FALSE(state.GraphWindowOpen);
    EXPECT_FALSE(state.PacketGraphWindowOpen);
    EXPECT_EQ(state.MainOpacity, 255);
    EXPECT_EQ(state.GraphOpacity, 255);
    EXPECT_FALSE(state.ShowMaxLines);
    EXPECT_FALSE(state.ResyncTrace);
    EXPECT_EQ(state.QuotaLimit, "0"); // no quota
    EXPECT_EQ(state.BillingDay, 1);
    EXPECT_TRUE(state.OpacityReady);
    EXPECT_EQ(state.HistoryLength, 120);
    // Reading creates nothing.
    EXPECT_FALSE(std::filesystem::exists(dir.File("Default.vlq")));
}

TEST(LoadMonitorState, PointerFileNamesTheProfile) {
    TempDir dir;
    dir.Write("other.vlq", Profile({{"Host", "127.0.0.1"}, {"Sesja", "Lab"}}));
    dir.Write("app.ini", "[Profil]\n01=" + dir.File("other.vlq") + "\n");
    MonitorState state;
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.ProfilePath, dir.File("other.vlq"));
    EXPECT_EQ(state.AgentHost, "127.0.0.1");
    EXPECT_EQ(state.SessionName, "Lab");
}

TEST(LoadMonitorState, PointerToDeletedProfileFallsBackToDefault) {
    TempDir dir;
    dir.Write("Default.vlq", Profile({{"Sesja", "Fallback"}}));
    dir.Write("app.ini", "[Profil]\n01=" + dir.File("gone.vlq") + "\n");
    MonitorState state;
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.ProfilePath, dir.Dir() + "Default.vlq");
    EXPECT_EQ(state.SessionName, "Fallback");
}

TEST(LoadMonitorState, PositionsArePulledBackButNeverRaised) {
    TempDir dir;
    dir.Write("Default.vlq", Profile({{"PozTop", "-500"},
                                      {"PozLeft", "1260"},             // W - 20 -> W - 30
                                      {"PozTopWykres", "964"},         // H - 60 -> H - 70
                                      {"PozLeftWykres", "1209"},       // W - 71 stays
                                      {"PozTopWykresPkt", "953"},      // H - 71 stays
                                      {"PozLeftWykresPkt", "5000"}})); // far right -> W - 70
    MonitorState state;
    // A second screen above the first holds the negative top.
    const ScreenArea screens[] = {{0, 0, kScreenW, kScreenH}, {0, -kScreenH, kScreenW, kScreenH}};
    const WindowPosition main = LoadMonitorState(state, dir.Dir(), screens);
    EXPECT_EQ(main.Top, -500);
    EXPECT_EQ(main.Left, kScreenW - 30);
    EXPECT_EQ(state.GraphTop, kScreenH - 70);
    EXPECT_EQ(state.GraphLeft, 1209);
    EXPECT_EQ(state.PacketGraphTop, 953);
    EXPECT_EQ(state.PacketGraphLeft, kScreenW - 70);
}

TEST(LoadMonitorState, MainWindowTopUsesSeventyPixels) {
    TempDir dir;
    dir.Write("Default.vlq", Profile({{"PozTop", "960"}, {"PozLeft", "1249"}}));
    MonitorState state;
    const WindowPosition main = LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(main.Top, kScreenH - 70);
    EXPECT_EQ(main.Left, 1249); // 1249 + 30 < 1280
}

TEST(PlaceOnScreens, AWindowWithNoPixelOnAnyScreenOpensAtItsDefaultPlace) {
    const ScreenArea one[] = {{0, 0, 1280, 1024}};
    const WindowPosition home{150, 150};
    const auto place = [&](int32_t top, int32_t left, std::span<const ScreenArea> screens) {
        const WindowPosition p = PlaceOnScreens({top, left}, 33, 68, 70, 30, home, screens);
        return std::pair{p.Top, p.Left};
    };
    // Off every screen: far to the left, above, or both.
    EXPECT_EQ(place(150, -99999, one), std::pair(150, 150));
    EXPECT_EQ(place(-500, 40, one), std::pair(150, 150));
    EXPECT_EQ(place(-69, -34, one), std::pair(150, 150));
    // Partly visible: one pixel row or column is enough.
    EXPECT_EQ(place(-67, 10, one), std::pair(-67, 10));
    EXPECT_EQ(place(10, -32, one), std::pair(10, -32));
    // Beyond the right or bottom edge: pulled back as before, not sent home.
    EXPECT_EQ(place(99999, 99999, one), std::pair(1024 - 70, 1280 - 30));

    // A second screen on the right widens the desktop: a window there stays.
    const ScreenArea right[] = {{0, 0, 1280, 1024}, {1280, 0, 1920, 1200}};
    EXPECT_EQ(place(1000, 2500, right), std::pair(1000, 2500));
    // ...but not below the shorter screen, a corner that no screen shows.
    EXPECT_EQ(place(1100, 100, right), std::pair(150, 150));

    // A screen on the left has negative coordinates, and they still work.
    const ScreenArea left[] = {{0, 0, 1280, 1024}, {-1600, 0, 1600, 900}};
    EXPECT_EQ(place(100, -1500, left), std::pair(100, -1500));
    EXPECT_EQ(place(100, -1700, left), std::pair(150, 150));

    // The default place lies within the primary screen wherever it sits.
    const ScreenArea shifted[] = {{1600, 0, 1280, 1024}, {0, 0, 1600, 900}};
    EXPECT_EQ(place(950, 100, shifted), std::pair(150, 1750));
}

TEST(LoadMonitorState, LostWindowsOpenAtTheirDefaultPlaces) {
    TempDir dir;
    dir.Write("Default.vlq", Profile({{"PozLeft", "-99999"},
                                      {"PozTopWykres", "-5000"},
                                      {"PozLeftWykresPkt", "-2000"},
                                      {"PozTopWykresPkt", "40"}}));
    MonitorState state;
    const ScreenArea one[] = {{0, 0, kScreenW, kScreenH}};
    const WindowPosition main = LoadMonitorState(state, dir.Dir(), one);
    EXPECT_EQ(main.Top, 150);
    EXPECT_EQ(main.Left, 150);
    EXPECT_EQ(state.GraphTop, 170);
    EXPECT_EQ(state.GraphLeft, 170);
    EXPECT_EQ(state.PacketGraphTop, 190);
    EXPECT_EQ(state.PacketGraphLeft, 190);

    // The same profile with a screen on the left keeps the packets window there.
    const ScreenArea two[] = {{0, 0, kScreenW, kScreenH}, {-2560, 0, 2560, 1440}};
    LoadMonitorState(state, dir.Dir(), two);
    EXPECT_EQ(state.PacketGraphTop, 40);
    EXPECT_EQ(state.PacketGraphLeft, -2000);
}

TEST(LoadMonitorState, ValueEncodingsReachTheState) {
    TempDir dir;
    dir.Write("Default.vlq", "[download]\n01=0x800\n[UPLOAD]\n01=$800\n[Timeout]\n01=2k\n"
                             "[PokazSrednie]\n01=yes\n[LinieMax]\n01=yes\n[Autoscala]\n01=2\n"
                             "[TStopien]\n01=0x100FF\n[TStopienGraph]\n01=300\n[f]\n01=1\n"
                             "[host]\n01=  router.lan  \n[KolorDownload]\n01=16711680\n");
    MonitorState state;
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.DownloadScale, 2048);
    EXPECT_EQ(state.UploadScale, 2048);
    EXPECT_EQ(state.TimeoutMs, 250);   // "2k" is not an integer
    EXPECT_TRUE(state.ShowAverages);   // "yes" gives the default, true
    EXPECT_FALSE(state.ShowMaxLines);  // "yes" gives the default, false
    EXPECT_TRUE(state.AutoScale);      // any non-zero integer is true
    EXPECT_EQ(state.MainOpacity, 255); // 0x100FF is over the dialog's range
    EXPECT_EQ(state.GraphOpacity, 255);
    EXPECT_TRUE(state.ResyncTrace);
    EXPECT_EQ(state.AgentHost, "router.lan");
    EXPECT_EQ(state.DownloadColor, 0x00FF0000u);
}

// A hand-edited profile cannot ask for what the settings dialog never
// allows (a time-out of 24 days froze the window): such values load as the
// nearest bound, and the file stays as it was until the user saves.
TEST(LoadMonitorState, ValuesOutsideTheDialogsRangesLoadAsTheNearestBound) {
    struct Row {
        SettingKey key;
        const char* stored;
        int32_t loaded;
    };
    using K = SettingKey;
    // clang-format off
    const Row rows[] = {
        {K::Timeout, "2147483647", 750}, {K::Timeout, "99", 100}, {K::Timeout, "750", 750},
        {K::NumerInterfaceu, "0", 1}, {K::NumerInterfaceu, "$80000000", 1},
        {K::Download, "127", 128}, {K::Upload, "100000001", 100000000},
        {K::TStopien, "300", 255}, {K::TStopien, "-1", 50}, {K::TStopienGraph, "49", 50},
        {K::LimitKierunek, "7", 2},
        {K::DzienRozliczenia, "31", 28}, {K::DzienRozliczenia, "0", 1},
        {K::MaksPredkosc, "-5", 0}, {K::MaksPredkosc, "10000", 10000},
        {K::AlarmDownload, "-1", 0}, {K::AlarmCzas, "0", 1},
    };
    // clang-format on
    TempDir dir;
    for (const Row& row : rows) {
        const std::string text = Profile({{Setting(row.key).Name, row.stored}});
        dir.Write("Default.vlq", text);
        MonitorState state;
        LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
        EXPECT_EQ(std::get<int32_t>(SettingFromState(row.key, state)), row.loaded)
            << Setting(row.key).Name << "=" << row.stored;
        EXPECT_EQ(dir.Read("Default.vlq"), text);
    }
}

TEST(LoadMonitorState, CountersAreZeroedOnEveryLoad) {
    TempDir dir;
    MonitorState state;
    state.InOctetsNow = 5;
    state.OutPktsPrev = 6;
    state.PollCount = 7;
    state.PacketPollCount = 8;
    state.PeakPktRate = 9;
    state.DownTotal = 10;
    state.UpTotal = 11;
    state.ResyncActive = true;
    state.ResyncStep = 4;
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.InOctetsNow, 0);
    EXPECT_EQ(state.OutPktsPrev, 0);
    EXPECT_EQ(state.PollCount, 0);
    EXPECT_EQ(state.PacketPollCount, 0);
    EXPECT_EQ(state.PeakPktRate, 0);
    EXPECT_EQ(state.DownTotal, 0u);
    EXPECT_EQ(state.UpTotal, 0u);
    EXPECT_FALSE(state.ResyncActive);
    EXPECT_EQ(state.ResyncStep, 0);
}

// The protocol version and the interface's description came later. A
// profile without them reads as SNMPv1 with no description, and saving it
// adds neither unless it says something; a session's 32-bit fallback and its
// 64-bit readings end with it.
TEST(AddedSettings, AbsentReadAsBeforeAndAreWrittenOnlyWhenTheySaySomething) {
    TempDir dir;
    const std::string path = dir.File("Default.vlq");
    { std::ofstream(path) << Profile({{"Host", "10.0.0.1"}}); }
    MonitorState state;
    state.Counters32Only = true;
    state.Counters64Now = {1, 2, 3, 4};
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.SnmpVersion, 0);
    EXPECT_EQ(state.InterfaceDescription, "");
    EXPECT_FALSE(state.Counters32Only);
    EXPECT_EQ(state.Counters64Now[0], 0u);

    auto text = [&path] {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = text();
    {
        TIniFile ini(path);
        SaveAddedSettings(ini, state);
    }
    EXPECT_EQ(text(), before);
    {
        TIniFile ini(path);
        state.SnmpVersion = 1;
        state.InterfaceDescription = "eth0";
        SaveAddedSettings(ini, state);
    }
    LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
    EXPECT_EQ(state.SnmpVersion, 1);
    EXPECT_EQ(state.InterfaceDescription, "eth0");
    {
        // Back to the defaults: a key the profile holds is written even so.
        TIniFile ini(path);
        state.SnmpVersion = 0;
        state.InterfaceDescription.clear();
        SaveAddedSettings(ini, state);
    }
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("WersjaSNMP", "01", "absent"), "0");
    EXPECT_EQ(ini.ReadString("OpisInterfaceu", "01", "absent"), "");
}

// The interface is found again by its description, so the description must
// read back exactly: outer blanks kept, and one longer than the profile keeps
// compared by its beginning. Only such descriptions change their line.
TEST(AddedSettings, InterfaceDescriptionReadsBackAsWritten) {
    const std::string longest(kMaxInterfaceDescriptionLength, 'x');
    const std::string tooLong = std::string(2100, 'y') + " tail ";
    struct Row {
        std::string description;
        std::string line; // as the profile holds it; empty: not checked
    };
    // clang-format off
    const std::vector<Row> rows{
        {"eth0",                    "01=eth0"},
        {"a \"b\" c",               "01=a \"b\" c"},
        {"\"",                      "01=\""},
        {"eth0 ",                   "01=\"eth0 \""},
        {"\tlan",                   "01=\"\tlan\""},
        {"\"quoted\"",              "01=\"\"quoted\"\""},
        {longest,                   "01=" + longest},
        {longest.substr(1) + " ",   ""},
        {tooLong,                   ""},
    };
    // clang-format on
    TempDir dir;
    for (const Row& row : rows) {
        dir.Write("Default.vlq", "");
        {
            TIniFile ini(dir.File("Default.vlq"));
            WriteAddedSettingText(ini, SettingKey::OpisInterfaceu, row.description);
        }
        MonitorState state;
        LoadMonitorState(state, dir.Dir(), kScreenW, kScreenH);
        const std::string& read = state.InterfaceDescription;
        if (row.description.size() <= kMaxInterfaceDescriptionLength) {
            EXPECT_EQ(read, row.description);
        }
        EXPECT_TRUE(SameInterfaceDescription(read, row.description)) << row.description.substr(0, 20);
        if (!row.line.empty()) {
            EXPECT_EQ(dir.Read("Default.vlq"), "[OpisInterfaceu]\n" + row.line + "\n");
        }
    }
    EXPECT_FALSE(SameInterfaceDescription("eth0", "eth0 "));
    EXPECT_FALSE(
        SameInterfaceDescription(tooLong.substr(0, kMaxInterfaceDescriptionLength), "z" + tooLong.substr(1)));
}

TEST(ClearHistories, ZeroesTheUsedSlotsOfAllEightArrays) {
    MonitorState state;
    state.HistoryLength = 120;
    for (History* h :
         {&state.DownHistory, &state.UpHistory, &state.DownAvgLine, &state.UpAvgLine, &state.DownPktHistory,
          &state.UpPktHistory, &state.DownPktAvgLine, &state.UpPktAvgLine}) {
        h->fill(7);
    }
    ClearHistories(state);
    for (const History* h :
         {&state.DownHistory, &state.UpHistory, &state.DownAvgLine, &state.UpAvgLine, &state.DownPktHistory,
          &state.UpPktHistory, &state.DownPktAvgLine, &state.UpPktAvgLine}) {
        EXPECT_EQ((*h)[1], 0);
        EXPECT_EQ((*h)[120], 0);
        EXPECT_EQ((*h)[121], 7); // slots beyond the used ones are never touched
    }
}

struct FadeTrace {
    std::vector<int> applied;
    std::vector<int> pausedAt;
};

FadeTrace Fade(uint16_t from) {
    MonitorState state;
    state.MainOpacity = from;
    FadeTrace trace;
    FadeOut(
        state, [&] { trace.applied.push_back(state.MainOpacity); },
        [&] { trace.pausedAt.push_back(state.MainOpacity); });
    return trace;
}

TEST(FadeOut, FromOpaquePassesEveryLevelDownToTwenty) {
    const FadeTrace trace = Fade(255);
    ASSERT_EQ(trace.applied.size(), 236u);
    EXPECT_EQ(trace.applied.front(), 255);
    EXPECT_EQ(trace.applied.back(), 20);
    EXPECT_EQ(trace.pausedAt, (std::vector<int>{250, 225, 200, 175, 150, 125, 100, 75, 50, 25}));
}

TEST(FadeOut, BelowTwentyThereIsNoFadeAndTwentyAppliesOnce) {
    EXPECT_TRUE(Fade(19).applied.empty());
    EXPECT_EQ(Fade(20).applied, std::vector<int>{20});
}

TEST(SettingsTable, SaveAndLoadRoundTripEveryStateField) {
    TempDir dir;
    MonitorState out;
    out.SessionName = "Round trip";
    out.AgentHost = "10.0.0.2";
    out.AgentCommunity = "c0mm";
    out.InterfaceNumber = 7;
    out.DownloadScale = 4096;
    out.UploadScale = 512;
    out.DownloadColor = 0x00ABCDEF;
    out.UploadColor = 0x00FEDCBA;
    out.ShowAverages = false;
    out.AutoScale = false;
    out.TimeoutMs = 700;
    out.GraphWindowOpen = true;
    out.PacketGraphWindowOpen = true;
    out.MainOpacity = 128;
    out.GraphOpacity = 60;
    out.ShowMaxLines = true;
    out.ResyncTrace = true;
    out.GraphTop = 11;
    out.GraphLeft = 12;
    out.PacketGraphTop = 13;
    out.PacketGraphLeft = 14;
    TIniFile ini(dir.File("p.vlq"));
    for (const SettingDef& def : ProfileSettings()) {
        if (!std::holds_alternative<std::monostate>(def.Field)) {
            SaveSetting(ini, def.Key, out);
        }
    }
    MonitorState in;
    for (const SettingDef& def : ProfileSettings()) {
        if (!std::holds_alternative<std::monostate>(def.Field)) {
            LoadSetting(ini, def.Key, in);
        }
    }
    EXPECT_EQ(in.SessionName, out.SessionName);
    EXPECT_EQ(in.AgentHost, out.AgentHost);
    EXPECT_EQ(in.AgentCommunity, out.AgentCommunity);
    EXPECT_EQ(in.InterfaceNumber, 7);
    EXPECT_EQ(in.DownloadScale, 4096);
    EXPECT_EQ(in.UploadScale, 512);
    EXPECT_EQ(in.DownloadColor, 0x00ABCDEFu);
    EXPECT_EQ(in.UploadColor, 0x00FEDCBAu);
    EXPECT_FALSE(in.ShowAverages);
    EXPECT_FALSE(in.AutoScale);
    EXPECT_EQ(in.TimeoutMs, 700);
    EXPECT_TRUE(in.GraphWindowOpen);
    EXPECT_TRUE(in.PacketGraphWindowOpen);
    EXPECT_EQ(in.MainOpacity, 128);
    EXPECT_EQ(in.GraphOpacity, 60);
    EXPECT_TRUE(in.ShowMaxLines);
    EXPECT_TRUE(in.ResyncTrace);
    EXPECT_EQ(in.PacketGraphLeft, 14);
    // Colours are stored as decimal integers, flags as 1/0.
    EXPECT_EQ(ini.ReadString("KolorDownload", "01", ""), std::to_string(0x00ABCDEF));
    EXPECT_EQ(ini.ReadString("PokazWykres", "01", ""), "1");
}

TEST(WriteSettings, AValueTheStoreRefusesLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string before = Profile({{"Host", "10.0.0.1"}, {"Haslo", "old"}});
    dir.Write("p.vlq", before);
    TIniFile ini(dir.File("p.vlq"));
    const SettingWrite writes[] = {{SettingKey::Host, std::string("10.0.0.2")},
                                   {SettingKey::Haslo, std::string("new\n")},
                                   {SettingKey::NumerInterfaceu, int32_t{3}}};
    try {
        WriteSettings(ini, writes);
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.File("p.vlq"));
    }
    EXPECT_EQ(dir.Read("p.vlq"), before); // not even the host before it

    const SettingWrite good[] = {{SettingKey::Host, std::string("10.0.0.2")},
                                 {SettingKey::PokazSrednie, false}};
    WriteSettings(ini, good);
    EXPECT_EQ(ReadSettingText(ini, SettingKey::Host), "10.0.0.2");
    EXPECT_FALSE(ReadSettingFlag(ini, SettingKey::PokazSrednie));
}

TEST(SettingsTable, KeyListsAreInTheirWritingOrder) {
    EXPECT_EQ(std::size(kSettingsDialogOkKeys), 20u);
    // Save-as writes every setting; the two added later and SNMPv3's by
    // their own rules.
    EXPECT_EQ(std::size(kSaveAsKeys) + 2 + std::size(kV3Settings), ProfileSettings().size());
    // Each key finds its own row; a key missing from the enumeration (a
    // misspelling) no longer compiles.
    for (const SettingKey key : kSaveAsKeys) {
        EXPECT_EQ(Setting(key).Key, key) << Setting(key).Name;
    }
}

} // namespace
} // namespace veltrum
