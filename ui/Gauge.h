// The progress bar's rule: a range, a clamped position, and a redraw only when the whole percentage done
// changes (or the range changes). The widgets paint; this decides when and how much. Beside it, the same
// percentage for the command line's progress line, which follows a run without a bar.
#pragma once
#include <cstdint>

namespace scaleboot {

// The whole percentage `done` is of `span`: the integer part of 100 * done / span, kept within 0 to 100; 0
// when the span is empty.
int WholePercentOf(std::int64_t done, std::int64_t span);

// The whole percentage of a stretch of gauge positions, recomputed only when it can have changed: a writer
// calls Update once per byte, so that call is a single comparison almost every time.
class WholePercent {
 public:
  // A stretch of `length` positions from `start`; the percentage is unknown until the next Update.
  void Start(std::int64_t start, std::int64_t length);
  // True when the percentage at `position` differs from the one last reported.
  bool Update(std::int64_t position) { return position >= nextChange_ && Recompute(position); }
  int percent() const { return percent_; }

 private:
  bool Recompute(std::int64_t position);
  std::int64_t start_ = 0, length_ = 0, nextChange_ = 0;
  int percent_ = -1;
};

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

// The bar's four setters for a widget that repaints itself: each one changes the model and calls the widget's
// RedrawNow(bool) with whether the rule asks for a redraw now. Widget derives from GaugeControl<Widget>.
template <class Widget>
class GaugeControl {
 public:
  void SetMinimum(int value) { Self().RedrawNow(model_.SetMinimum(value)); }
  void SetMaximum(int value) { Self().RedrawNow(model_.SetMaximum(value)); }
  void SetPosition(int value) { Self().RedrawNow(model_.SetPosition(value)); }
  void AddProgress(int delta) { Self().RedrawNow(model_.AddProgress(delta)); }

 protected:
  GaugeModel model_;

 private:
  Widget& Self() { return static_cast<Widget&>(*this); }
};

}  // namespace scaleboot
