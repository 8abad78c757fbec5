#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/Errors.h"
#include "ui/Gauge.h"

namespace scaleboot {
namespace {

TEST(Gauge, StartsEmptyOverZeroToHundred) {
  const GaugeModel g;
  EXPECT_EQ(g.minimum(), 0);
  EXPECT_EQ(g.maximum(), 100);
  EXPECT_EQ(g.position(), 0);
  EXPECT_EQ(g.PercentDone(), 0);
  EXPECT_EQ(g.FillWidth(295), 0);
}

TEST(Gauge, PositionIsClampedIntoTheRange) {
  GaugeModel g;
  g.SetPosition(150);
  EXPECT_EQ(g.position(), 100);
  g.SetPosition(-3);
  EXPECT_EQ(g.position(), 0);
  g.SetPosition(80);
  g.SetMaximum(50);
  EXPECT_EQ(g.position(), 50);
  g.SetMinimum(60);
  EXPECT_EQ(g.position(), 60);
}

TEST(Gauge, RangeChangesRedrawOnlyWhenTheyChangeSomething) {
  GaugeModel g;
  EXPECT_FALSE(g.SetMinimum(0));
  EXPECT_TRUE(g.SetMaximum(1754664));
  EXPECT_FALSE(g.SetMaximum(1754664));
  EXPECT_TRUE(g.SetMinimum(5));
}

TEST(Gauge, RedrawsOnlyWhenTheWholePercentageChanges) {
  GaugeModel g;
  g.SetMaximum(1000);
  int redraws = 0;
  for (int i = 0; i < 9; ++i) redraws += g.AddProgress(1);
  EXPECT_EQ(redraws, 0);  // 0.9 % is still 0 %
  EXPECT_TRUE(g.AddProgress(1));
  EXPECT_FALSE(g.SetPosition(19));
  EXPECT_TRUE(g.SetPosition(0));
  EXPECT_FALSE(g.SetPosition(0));
}

TEST(Gauge, AWholeWriteRunRedrawsAboutAHundredTimesFiftyPerPhase) {
  constexpr int kTotal = 1754664;
  GaugeModel g;
  g.SetMinimum(0);
  g.SetMaximum(kTotal);
  g.SetPosition(0);
  int firstHalf = 0;
  int secondHalf = 0;
  for (int i = 0; i < kTotal; ++i) (i < kTotal / 2 ? firstHalf : secondHalf) += g.AddProgress(1);
  EXPECT_EQ(firstHalf, 50);
  EXPECT_EQ(secondHalf, 50);
  EXPECT_EQ(g.PercentDone(), 100);
  EXPECT_EQ(g.position(), kTotal);
  EXPECT_TRUE(g.SetPosition(0));
}

TEST(Gauge, FillWidthIsTheTruncatedPercentageOfTheInnerWidth) {
  GaugeModel g;
  g.SetMaximum(1754664);
  g.SetPosition(877332);  // exactly half
  EXPECT_EQ(g.PercentDone(), 50);
  EXPECT_EQ(g.FillWidth(295), 147);
  g.SetPosition(1754663);
  EXPECT_EQ(g.PercentDone(), 99);
  EXPECT_EQ(g.FillWidth(295), 292);
  g.SetPosition(1754664);
  EXPECT_EQ(g.FillWidth(295), 295);
  EXPECT_EQ(g.FillWidth(0), 0);
}

TEST(Gauge, EmptyOrInvertedRangeShowsZeroPercent) {
  GaugeModel g;
  g.SetMaximum(0);
  EXPECT_EQ(g.PercentDone(), 0);
  g.SetMinimum(10);
  EXPECT_EQ(g.PercentDone(), 0);
  EXPECT_EQ(g.position(), 10);
}

TEST(Gauge, ExtremeRangesDoNotOverflow) {
  GaugeModel g;
  g.SetMinimum(INT32_MIN);
  g.SetMaximum(INT32_MAX);
  g.SetPosition(INT32_MAX);
  EXPECT_EQ(g.PercentDone(), 100);
  EXPECT_THROW(g.AddProgress(1), OverflowError);
}

// The command line's percentage follows a stretch of positions without a bar: each whole percentage is
// reported once, the first one as soon as the stretch starts, and positions outside it count as its ends.
TEST(WholePercent, ReportsEachWholePercentageOnceFromTheStartOfItsStretch) {
  const struct {
    const char* name;
    std::int64_t start, length;
    std::vector<std::int64_t> positions;
    std::vector<int> reported;
  } cases[] = {
      {"two positions a percent", 0, 200, {0, 1, 2, 3, 4, 199, 200}, {0, 1, 2, 99, 100}},
      {"a third each", 1000, 3, {1000, 1001, 1002, 1003}, {0, 33, 66, 100}},
      {"outside the stretch", 10, 10, {5, 10, 25, 30}, {0, 100}},
      {"an empty stretch", 0, 0, {0, 5}, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WholePercent percent;
    percent.Start(c.start, c.length);
    std::vector<int> reported;
    for (const std::int64_t position : c.positions) {
      if (percent.Update(position)) reported.push_back(percent.percent());
    }
    EXPECT_EQ(reported, c.reported);
    // A new start reports again, even the percentage it had.
    percent.Start(c.start, c.length);
    EXPECT_TRUE(percent.Update(c.positions.back()));
    EXPECT_EQ(percent.percent(), c.reported.back());
  }
}

}  // namespace
}  // namespace scaleboot
