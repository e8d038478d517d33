#pragma once

#include <functional>
#include <memory>

#include "audio/liveness.hpp"
#include "audio/pcm_linux.hpp"
#include "audio/wave_out.hpp"

namespace belvox {

// The PCMs that `makePcm` makes, each fed from a thread of its own, with the
// completion contract of a wave-out device; its time and waits are `timeline`'s.
std::unique_ptr<WaveOut> MakeFeedingWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm,
                                            Timeline& timeline = SystemTimeline());

}  // namespace belvox
