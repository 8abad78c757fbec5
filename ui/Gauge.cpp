#include "ui/Gauge.h"

#include <algorithm>
#include <limits>

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

int WholePercentOf(std::int64_t done, std::int64_t span) {
  if (span <= 0) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(done * 100 / span, 0, 100));
}

void WholePercent::Start(std::int64_t start, std::int64_t length) {
  start_ = start;
  length_ = length;
  percent_ = -1;
  nextChange_ = std::numeric_limits<std::int64_t>::min();
}

bool WholePercent::Recompute(std::int64_t position) {
  const int percent = WholePercentOf(position - start_, length_);
  // The first position whose percentage is above this one.
  nextChange_ = length_ > 0 && percent < 100 ? start_ + ((percent + 1) * length_ + 99) / 100
                                             : std::numeric_limits<std::int64_t>::max();
  if (percent == percent_) return false;
  percent_ = percent;
  return true;
}

int GaugeModel::PercentDone() const {
  return WholePercentOf(std::int64_t{pos_} - min_, std::int64_t{max_} - min_);
}

int GaugeModel::FillWidth(int innerWidth) const {
  if (innerWidth <= 0) return 0;
  return static_cast<int>(std::int64_t{innerWidth} * PercentDone() / 100);
}

}  // namespace scaleboot
