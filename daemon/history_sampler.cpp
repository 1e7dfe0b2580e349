#include "daemon/history_sampler.h"

#include <limits>

void HistorySampler::Sample(const HistoryReading& reading) {
  HistoryPoint point;
  point.second = reading.wallSecond;
  point.coinAmount = reading.coinAmount;
  point.fuel = reading.fuel;
  point.experience = reading.experience;
  point.passesPerSecond = std::numeric_limits<double>::quiet_NaN();
  if (last_ && reading.monotonicSeconds > last_->monotonicSeconds &&
      reading.workerPasses >= last_->workerPasses) {
    point.passesPerSecond = static_cast<double>(reading.workerPasses - last_->workerPasses) /
                            (reading.monotonicSeconds - last_->monotonicSeconds);
  }
  last_ = reading;
  ring_.Add(point);
}
