#include "ui/Gauge.h"

#include <algorithm>

#include "ui/Errors.h"

namespace scaleboot {

int GaugeModel::Clamp(int value) const {
  return max_ >= min_ ? std::clamp(value, min_, max_) : min_;
}

bool GaugeModel::SetMinimum(int value) {
  if (value == min_) return false;
  min_ = value;
  pos_ = Clamp(pos_);
  return true;
}

bool GaugeModel::SetMaximum(int value) {
  if (value == max_) return false;
  max_ = value;
  pos_ = Clamp(pos_);
  return true;
}

bool GaugeModel::SetPosition(int value) {
  const int before = PercentDone();
  pos_ = Clamp(value);
  return PercentDone() != before;
}

bool GaugeModel::AddProgress(int delta) {
  int target = 0;
  if (__builtin_add_overflow(pos_, delta, &target)) throw OverflowError();
  return SetPosition(target);
}

int GaugeModel::PercentDone() const {
  if (max_ <= min_) return 0;
  const std::int64_t done = std::int64_t{pos_} - min_;
  const std::int64_t span = std::int64_t{max_} - min_;
  return static_cast<int>(done * 100 / span);
}

int GaugeModel::FillWidth(int innerWidth) const {
  if (innerWidth <= 0) return 0;
  return static_cast<int>(std::int64_t{innerWidth} * PercentDone() / 100);
}

}  // namespace scaleboot
