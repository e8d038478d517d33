#pragma once

#include <memory>

#include "audio/wave_out.hpp"

namespace belvox {

// winmm's wave-out on WAVE_MAPPER, completions counted by a callback function.
std::unique_ptr<WaveOut> MakeWinmmWaveOut();

// Ends the process at once, its output flushed, when a thread was left in a winmm
// call that never returned: the teardown of an ordinary exit would wait for it, or
// crash under it.
void EndIfLeftInWinmm();
// Notes that a thread is left in winmm.
void LeftInWinmm();

}  // namespace belvox
