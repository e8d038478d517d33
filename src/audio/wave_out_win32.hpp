#pragma once

#include <memory>

#include "audio/wave_out.hpp"

namespace belvox {

// winmm's wave-out on WAVE_MAPPER, completions counted by a callback function.
std::unique_ptr<WaveOut> MakeWinmmWaveOut();

}  // namespace belvox
