// How loud a sound is to a listener, as ITU-R BS.1770 weighs it: shared by the sound generator,
// which sets the ten sounds' levels with it, and the test that holds them in balance.
#pragma once

#include <span>

namespace zonbeli::loudness {

// The loudest 100 ms of a mono sound, K-weighted, in LUFS: what an effect is judged by, since
// most of them are over in little more than that. Windows are tried every millisecond, and
// those running off either end count the missing part as silence.
double loudest_100ms(std::span<const double> samples, int rate);

// The gated integrated loudness of a mono sound in LUFS (400 ms blocks overlapping by 75 %,
// gated at -70 LUFS and 10 LU below the ungated level): what music is judged by.
double integrated(std::span<const double> samples, int rate);

// Level of an amplitude relative to full scale (1.0), in dB.
double dbfs(double amplitude);

}  // namespace zonbeli::loudness
