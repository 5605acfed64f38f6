#include "widgets/ChartAxis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace veltrum {
namespace {

std::vector<TChartPoint> Points(std::initializer_list<double> ys) {
    std::vector<TChartPoint> points;
    for (const double y : ys) {
        points.push_back({double(points.size()), y, 0});
    }
    return points;
}

TEST(AutomaticTop, LargestValueOverAllLists) {
    const auto a = Points({1, 5, 3});
    const auto b = Points({2});
    const auto empty = Points({});
    const std::vector<const std::vector<TChartPoint>*> lists{&a, &empty, &b};
    EXPECT_EQ(AutomaticTop(lists), 5.0);

    const auto big = Points({0, 2048});
    const std::vector<const std::vector<TChartPoint>*> withBig{&a, &big};
    EXPECT_EQ(AutomaticTop(withBig), 2048.0);
}

TEST(AutomaticTop, NothingWithoutPoints) {
    const auto empty = Points({});
    const std::vector<const std::vector<TChartPoint>*> lists{&empty, &empty};
    EXPECT_FALSE(AutomaticTop(lists).has_value());
    EXPECT_FALSE(AutomaticTop({}).has_value());
}

TEST(AutomaticTop, NegativeAndNonFiniteValues) {
    const auto negative = Points({-3, -1});
    const std::vector<const std::vector<TChartPoint>*> lists{&negative};
    EXPECT_EQ(AutomaticTop(lists), -1.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto odd = Points({nan, 7, inf});
    const std::vector<const std::vector<TChartPoint>*> oddLists{&odd};
    EXPECT_EQ(AutomaticTop(oddLists), 7.0);
}

TEST(AxisSteps, NiceStepsForHeightsAndMaxima) {
    struct Row {
        double top;
        int height;
        double step;
    };
    // Labels 14 pixels high, 15 % separation: at least 16.1 pixels apart.
    const Row rows[] = {
        {1000, 300, 100},          // needs 53.7
        {1000, 161, 100},          // needs exactly 100
        {1000, 160, 200},          // needs 100.6
        {2048, 330, 100},          // needs 99.9
        {4096, 330, 200},          // needs 199.8
        {100000000, 330, 5000000}, // the dialog's largest scale
        {128, 330, 10},            // the dialog's smallest scale
        {10, 330, 0.5},
        {1, 330, 0.05},
        {1000, 16, 2000}, // no room even for two labels
        {3, 1000, 0.05},
    };
    for (const Row& row : rows) {
        const TAxisSteps steps = AxisSteps(row.top, row.height, 14, 15, 1);
        EXPECT_DOUBLE_EQ(steps.Label, row.step) << "top " << row.top << " height " << row.height;
        EXPECT_DOUBLE_EQ(steps.Minor, row.step / 2);
    }
}

TEST(AxisSteps, EveryStepKeepsLabelsApartAndIsTheSmallest) {
    const double tops[] = {1, 7, 100, 999, 1000, 2037, 12345, 1e6, 1e8};
    for (const double top : tops) {
        for (int height = 20; height <= 800; height += 13) {
            const double step = AxisSteps(top, height, 14, 15, 1).Label;
            const double apart = step / top * height;
            EXPECT_GE(apart, 14 * 1.15 - 1e-9) << top << " " << height;
            // The next smaller nice step would crowd the labels.
            const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
            ASSERT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                        std::fabs(mantissa - 5) < 1e-9)
                << step;
            const double smaller = std::fabs(mantissa - 5) < 1e-9 ? step * 0.4 : step * 0.5;
            EXPECT_LT(smaller / top * height, 14 * 1.15 + 1e-9) << top << " " << height;
        }
    }
}

TEST(AxisSteps, DegenerateAxes) {
    EXPECT_DOUBLE_EQ(AxisSteps(0, 300, 14, 15, 1).Label, 1.0);
    EXPECT_DOUBLE_EQ(AxisSteps(-5, 300, 14, 15, 1).Label, 1.0);
    EXPECT_DOUBLE_EQ(AxisSteps(std::numeric_limits<double>::infinity(), 300, 14, 15, 1).Label, 1.0);
    EXPECT_DOUBLE_EQ(AxisSteps(700, 0, 14, 15, 1).Label, 1000.0);
    EXPECT_DOUBLE_EQ(AxisSteps(1000, 300, 14, 15, 0).Minor, 100.0);
    EXPECT_DOUBLE_EQ(AxisSteps(1000, 300, 14, 15, 3).Minor, 25.0);
}

TEST(AxisLabelValues, FromZeroUpToTheTop) {
    EXPECT_EQ(AxisLabelValues(1000, 200), (std::vector<double>{0, 200, 400, 600, 800, 1000}));
    EXPECT_EQ(AxisLabelValues(950, 200), (std::vector<double>{0, 200, 400, 600, 800}));
    // 0.3 / 0.1 is a hair below 3 in binary: the top label must not vanish.
    EXPECT_EQ(AxisLabelValues(0.3, 0.1).size(), 4u);
    EXPECT_EQ(AxisLabelValues(0, 1), (std::vector<double>{0}));
    EXPECT_TRUE(AxisLabelValues(1000, 0).empty());
    EXPECT_TRUE(AxisLabelValues(1e12, 1e-3).empty()); // absurdly many labels
}

TEST(AxisLabelDecimals, EnoughToWriteTheStep) {
    EXPECT_EQ(AxisLabelDecimals(100), 0);
    EXPECT_EQ(AxisLabelDecimals(1), 0);
    EXPECT_EQ(AxisLabelDecimals(0.5), 1);
    EXPECT_EQ(AxisLabelDecimals(0.2), 1);
    EXPECT_EQ(AxisLabelDecimals(0.05), 2);
    EXPECT_EQ(AxisLabelDecimals(0.000002), 6);
}

} // namespace
} // namespace veltrum
