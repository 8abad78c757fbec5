// The progress bar's rule: a range, a clamped position, and a redraw only when the whole percentage done
// changes (or the range changes). The widgets paint; this decides when and how much.
#pragma once
#include <cstdint>

namespace scaleboot {

class GaugeModel {
 public:
  int minimum() const { return min_; }
  int maximum() const { return max_; }
  int position() const { return pos_; }

  // Each setter returns true when the bar must be redrawn now.
  bool SetMinimum(int value);
  bool SetMaximum(int value);
  bool SetPosition(int value);
  bool AddProgress(int delta);

  // Integer part of 100 * (position - minimum) / (maximum - minimum); 0 when the range is empty.
  int PercentDone() const;
  // Width in pixels of the filled part of an inner area `innerWidth` pixels wide (truncated).
  int FillWidth(int innerWidth) const;

 private:
  int Clamp(int value) const;

  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
};

}  // namespace scaleboot
