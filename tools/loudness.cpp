// Loudness by libebur128, which derives the K-weighting filters (the head's shelf and the
// high-pass) for whatever rate a sound has.
#include "loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zonbeli::loudness {
namespace {

struct Free {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using Meter = std::unique_ptr<ebur128_state, Free>;

Meter meter(int rate, int mode) {
  if (rate <= 0) throw std::invalid_argument("loudness: no sample rate");
  Meter m(ebur128_init(1, static_cast<unsigned long>(rate), mode));
  if (!m) throw std::runtime_error("loudness: cannot set up the meter");
  return m;
}

void feed(ebur128_state* m, const double* samples, size_t count) {
  if (count > 0 && ebur128_add_frames_double(m, samples, count) != EBUR128_SUCCESS)
    throw std::runtime_error("loudness: the meter refused the samples");
}

}  // namespace

double loudest_100ms(std::span<const double> samples, int rate) {
  Meter m = meter(rate, EBUR128_MODE_M);
  // A window that starts before the sound hears silence there, whatever the meter held.
  const std::vector<double> silence(static_cast<size_t>(rate) / 10);
  feed(m.get(), silence.data(), silence.size());
  const size_t step = std::max<size_t>(1, static_cast<size_t>(rate) / 1000);
  double loudest = -HUGE_VAL;
  for (size_t at = 0; at < samples.size(); at += step) {
    feed(m.get(), samples.data() + at, std::min(step, samples.size() - at));
    double window = -HUGE_VAL;
    if (ebur128_loudness_window(m.get(), 100, &window) != EBUR128_SUCCESS)
      throw std::runtime_error("loudness: no 100 ms window");
    loudest = std::max(loudest, window);
  }
  return loudest;
}

double integrated(std::span<const double> samples, int rate) {
  Meter m = meter(rate, EBUR128_MODE_I);
  feed(m.get(), samples.data(), samples.size());
  double level = -HUGE_VAL;
  if (ebur128_loudness_global(m.get(), &level) != EBUR128_SUCCESS)
    throw std::runtime_error("loudness: no integrated level");
  return level;
}

double dbfs(double amplitude) {
  return 20.0 * std::log10(std::abs(amplitude));
}

}  // namespace zonbeli::loudness
