#include "audio/progress_watch.hpp"

#include <algorithm>

namespace belvox {

void ProgressWatch::Restart(TimePoint now) {
  started_ = false;
  since_ = now;
}

void ProgressWatch::Observe(std::uint64_t position, std::chrono::milliseconds latency, bool holding, TimePoint now) {
  if (position > position_ || !holding_) since_ = now;
  if (position > position_) started_ = true;
  position_ = std::max(position_, position);
  latency_ = latency;
  holding_ = holding;
}

// Whatever stood still meanwhile did so because the process did; a stream that
// ran dry meanwhile starts anew.
void ProgressWatch::Resumed(TimePoint now) {
  Restart(now);
  if (call_) call_ = now;
}

bool ProgressWatch::Lost(TimePoint now) const { return now > Deadline(); }

ProgressWatch::TimePoint ProgressWatch::Deadline() const {
  TimePoint deadline = TimePoint::max();
  if (call_) deadline = *call_ + kStallAllowance + latency_;
  if (holding_) deadline = std::min(deadline, since_ + (started_ ? kStallAllowance : kStartAllowance) + latency_);
  return deadline;
}

}  // namespace belvox
