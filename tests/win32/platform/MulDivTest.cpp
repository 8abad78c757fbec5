#include <windows.h>

#include <gtest/gtest.h>

#include "ui/ScaledLayout.h"

namespace scaleboot::layout {
namespace {

// The window scales its layout with the core's function where the system would use MulDiv: both must give
// the same pixel for every length and DPI the window can meet.
TEST(ScaleForDpi, GivesWhatMulDivGives) {
  int differing = 0;
  for (int dpi = 48; dpi <= 480; ++dpi) {
    for (int pixels = -400; pixels <= 1000; ++pixels) {
      if (ScaleForDpi(pixels, dpi) != MulDiv(pixels, dpi, kBaseDpi) && ++differing <= 5) {
        ADD_FAILURE() << pixels << " px at " << dpi << " DPI: " << ScaleForDpi(pixels, dpi) << ", MulDiv "
                      << MulDiv(pixels, dpi, kBaseDpi);
      }
    }
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace scaleboot::layout
