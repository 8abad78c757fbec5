// The board's LEDs on a stand-in of /sys/class/leds: what each state writes, the LED's own trigger put back,
// an LED the board lacks or a hostile name left out.
#include "platform/linux/LedLights.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace scaleboot::platform {
namespace {

struct Leds : ::testing::Test {
  testing::TempDir dir;
  // An LED's folder as sysfs has it once its timer trigger was chosen (the delay files are the trigger's).
  void Make(const std::string& name, const std::string& trigger, const std::string& brightness) {
    std::filesystem::create_directory(dir / name);
    for (const auto& [file, text] : {std::pair{"trigger", trigger},
                                     {"brightness", brightness},
                                     {"max_brightness", std::string("255")},
                                     {"delay_on", std::string("0")},
                                     {"delay_off", std::string("0")}})
      std::ofstream(dir / name + "/" + file) << text << "\n";
  }
  std::string Read(const std::string& name, const std::string& file) {
    std::string line;
    std::getline(std::ifstream(dir / name + "/" + file), line);
    return line;
  }
};

TEST_F(Leds, EachStateBlinksOrLightsAndTheOwnTriggerComesBack) {
  Make("act", "none rfkill0 [mmc0] timer", "0");
  struct Row {
    Lamp lamp;
    std::string trigger, brightness, delay;
  };
  {
    LedLights lights(dir.path(), {"act"});
    ASSERT_EQ(lights.Count(), 1u);
    for (const Row& row :
         {Row{Lamp::Writing, "timer", "0", "500"}, Row{Lamp::TakeAway, "none", "255", "500"},
          Row{Lamp::NeedsTechnician, "timer", "255", "100"}, Row{Lamp::Idle, "none", "0", "100"}}) {
      lights.Show(row.lamp);
      EXPECT_EQ(Read("act", "trigger"), row.trigger) << static_cast<int>(row.lamp);
      EXPECT_EQ(Read("act", "brightness"), row.brightness) << static_cast<int>(row.lamp);
      EXPECT_EQ(Read("act", "delay_on"), row.delay) << static_cast<int>(row.lamp);
      EXPECT_EQ(Read("act", "delay_off"), row.delay) << static_cast<int>(row.lamp);
    }
  }
  EXPECT_EQ(Read("act", "trigger"), "mmc0");
}

TEST_F(Leds, AnLedWithoutTriggerGetsItsBrightnessBack) {
  Make("pwr", "[none] timer", "255");
  {
    LedLights lights(dir.path(), {"pwr"});
    lights.Show(Lamp::Idle);
    EXPECT_EQ(Read("pwr", "brightness"), "0");
  }
  EXPECT_EQ(Read("pwr", "trigger"), "none");
  EXPECT_EQ(Read("pwr", "brightness"), "255");
}

TEST_F(Leds, MissingOrHostileNamesAreLeftOut) {
  Make("act", "[mmc0]", "0");
  std::filesystem::create_directory(dir / "sub");
  LedLights lights(dir / "sub", {"gone", "../act", "..", ""});
  EXPECT_EQ(lights.Count(), 0u);
  lights.Show(Lamp::Writing);
  EXPECT_EQ(Read("act", "trigger"), "[mmc0]");
  EXPECT_FALSE(std::filesystem::exists(dir / "sub/gone"));
}

}  // namespace
}  // namespace scaleboot::platform
