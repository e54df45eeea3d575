#include "curve/curve_figures.h"

#include <gtest/gtest.h>

namespace fanbench::curve {
namespace {

SweepTable table(std::vector<std::pair<int, std::uint64_t>> rows) {
    SweepTable t{"t", {}};
    for (auto [d, r] : rows) t.rows.push_back({d, r, 0});
    return t;
}

SweepTable linear(std::uint64_t at0, std::uint64_t perStep) {
    std::vector<std::pair<int, std::uint64_t>> rows;
    for (int i = 0; i <= 20; ++i)
        rows.push_back({i * 5, at0 + perStep * static_cast<std::uint64_t>(i)});
    return table(rows);
}

const Tolerance kFivePercent{5, true};

TEST(CurveFigures, AFourPinFanThatTurnsAtZeroIsControllableOverTheWholeRange) {
    const Figures f = computeFigures(linear(600, 90), kFivePercent);
    EXPECT_EQ(f.rpmAt0, 600u);
    EXPECT_EQ(f.rpmAt100, 2400u);
    EXPECT_EQ(f.maxRpm, 2400u);
    EXPECT_EQ(f.lowestTurningDuty, 0);
    EXPECT_EQ(f.controllableFrom, 0);
    EXPECT_EQ(f.controllableTo, 100);
    ASSERT_TRUE(f.linearity);
    EXPECT_NEAR(*f.linearity, 1.0, 1e-9);
    EXPECT_TRUE(f.dips.empty());
    EXPECT_TRUE(f.repeatedDuties.empty());
}

TEST(CurveFigures, AThreePinTableWithZerosBelow100) {
    std::vector<std::pair<int, std::uint64_t>> rows;
    for (int i = 0; i < 20; ++i) rows.push_back({i * 5, 0});
    rows.push_back({100, 2100});
    const Figures f = computeFigures(table(rows), kFivePercent);
    EXPECT_EQ(f.rpmAt0, 0u);
    EXPECT_EQ(f.lowestTurningDuty, 100);
    EXPECT_EQ(f.controllableFrom, 95);
    EXPECT_EQ(f.controllableTo, 100);
}

TEST(CurveFigures, AFlatStartAndEndNarrowTheRangeAndADipIsListed) {
    const SweepTable t = table({{0, 0},
                                {10, 0},
                                {20, 0},
                                {30, 900},
                                {40, 1200},
                                {50, 800},
                                {60, 1500},
                                {70, 2000},
                                {80, 2000},
                                {90, 2010},
                                {100, 2000}});
    const Figures f = computeFigures(t, kFivePercent);
    EXPECT_EQ(f.lowestTurningDuty, 30);
    EXPECT_EQ(f.controllableFrom, 20);
    EXPECT_EQ(f.controllableTo, 70);
    ASSERT_EQ(f.dips.size(), 1u);
    EXPECT_EQ(f.dips[0].fromDuty, 40);
    EXPECT_EQ(f.dips[0].toRpm, 800u);
    ASSERT_TRUE(f.linearity);
    EXPECT_LT(*f.linearity, 0.95);
}

TEST(CurveFigures, RepeatedDutiesFromALaggingTesterAreReported) {
    const Figures f =
        computeFigures(table({{0, 600}, {0, 610}, {5, 700}, {10, 790}}), kFivePercent);
    EXPECT_EQ(f.repeatedDuties, std::vector<int>{0});
}

TEST(ReferenceCheck, ListsRowsOutsideTheBandAndMissingDuties) {
    const SweepTable reference = table({{0, 1000}, {50, 2000}, {100, 3000}});
    EXPECT_TRUE(
        checkAgainst(table({{0, 1090}, {50, 1810}, {100, 3300}}), reference, {10, true}).empty());
    const auto bad =
        checkAgainst(table({{0, 1200}, {50, 2000}, {75, 2500}}), reference, {100, false});
    ASSERT_EQ(bad.size(), 3u);
    EXPECT_EQ(bad[0].duty, 0);
    EXPECT_EQ(bad[0].measured, 1200u);
    EXPECT_EQ(bad[1].duty, 75);
    EXPECT_FALSE(bad[1].reference);
    EXPECT_EQ(bad[2].duty, 100);
    EXPECT_FALSE(bad[2].measured);
}

TEST(ReferenceCheck, ToleranceText) {
    EXPECT_EQ(parseTolerance("10%")->value, 10);
    EXPECT_TRUE(parseTolerance("10%")->percent);
    EXPECT_EQ(parseTolerance("150rpm")->value, 150);
    EXPECT_FALSE(parseTolerance("150rpm")->percent);
    for (const char* bad : {"", "%", "10", "rpm", "-5%", "ten%", "5 %"})
        EXPECT_FALSE(parseTolerance(bad)) << bad;
}

}  // namespace
}  // namespace fanbench::curve
