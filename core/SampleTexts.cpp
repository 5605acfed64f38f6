#include "core/SampleTexts.h"

namespace veltrum {

namespace {

const char kTitleStart[] = "Veltrum     ";
const char kBandwidthTotal[] = "                     Total:  ";
const char kPacketsTotal[] = "                     Total I/O:  ";

// The state's 32-bit arithmetic wraps, as the counters do.
int32_t wrapped(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string withUnit(long double value, int decimals, const char* unit, const NumberLocale& locale) {
    std::string text = FormatNumber(static_cast<double>(value), decimals, locale);
    text += unit;
    return text;
}

} // namespace

std::string CounterWidthText(CounterWidth width) {
    switch (width) {
    case CounterWidth::V2cCounters64:
        return "SNMPv2c, 64-bit counters";
    case CounterWidth::V2cCounters32:
        return "SNMPv2c, 32-bit counters (the agent has no 64-bit counters for this interface)";
    case CounterWidth::V1Counters32:
        break;
    }
    return "SNMPv1, 32-bit counters";
}

RateTexts MainRateTexts(int32_t downRate, int32_t upRate, const NumberLocale& locale) {
    const long double downMbps = downRate / 102.4L;
    if (downMbps < 1000.0L) {
        return {withUnit(downMbps, 1, "M", locale), withUnit(upRate / 102.4L, 1, "M", locale)};
    }
    return {withUnit(downRate / 102400.0L, 1, "G", locale), withUnit(upRate / 102400.0L, 1, "G", locale)};
}

std::string TotalsText(uint32_t downTotal, uint32_t upTotal, int32_t pollCount, const NumberLocale& locale) {
    // Hundredths of a second.
    const int32_t hundredths = wrapped(int64_t{wrapped(int64_t{pollCount} - 1)} * 100);
    std::string text = VolumeText(downTotal, locale);
    text.append(" / ").append(VolumeText(upTotal, locale));
    text.append(" (").append(ElapsedTimeText(std::to_string(hundredths))).append(")");
    return text;
}

GraphTexts BandwidthGraphTexts(const BandwidthFigures& figures, const NumberLocale& locale) {
    GraphTexts texts;
    texts.TitleLine1 = kTitleStart + figures.Time;
    texts.TitleLine2 =
        kBandwidthTotal + TotalsText(figures.DownTotal, figures.UpTotal, figures.PollCount, locale);
    texts.Hint = CounterWidthText(figures.Width);
    texts.Label1 = withUnit(figures.Step.DownAvg / 1024.0L, 1, " Mbps", locale);
    texts.Label2 = withUnit(figures.Step.UpAvg / 1024.0L, 1, " Mbps", locale);
    texts.Label6 = withUnit(wrapped(int64_t{figures.DownRate} * 10) / 1024.0L, 1, " Mbps", locale);
    texts.Label8 = withUnit(wrapped(int64_t{figures.UpRate} * 10) / 1024.0L, 1, " Mbps", locale);
    return texts;
}

GraphTexts PacketsGraphTexts(const PacketFigures& figures, const NumberLocale& locale) {
    GraphTexts texts;
    texts.TitleLine1 = kTitleStart + figures.Time;
    const int32_t total = wrapped(int64_t{figures.DownPktRate} + figures.UpPktRate);
    texts.Hint = CounterWidthText(figures.Width);
    texts.TitleLine2 = kPacketsTotal;
    texts.TitleLine2.append(FormatNumber(total, 0, locale)).append(" p/s  (max: ");
    texts.TitleLine2.append(FormatNumber(figures.PeakPktRate, 0, locale)).append(") p/s");
    texts.Label1 = withUnit(figures.Step.DownAvg, 0, " p/s", locale);
    texts.Label2 = withUnit(figures.Step.UpAvg, 0, " p/s", locale);
    texts.Label6 = withUnit(figures.DownPktRate, 0, " p/s", locale);
    texts.Label8 = withUnit(figures.UpPktRate, 0, " p/s", locale);
    return texts;
}

} // namespace veltrum
