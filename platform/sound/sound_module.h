// Where the tone thread finds the sound module, and what it calls there.
#pragma once

#include "platform/sound/tone_output.h"

#include <memory>

// The module's one exported function: a new set of outputs, owned by the caller.
#define PELMORA_SOUND_ENTRY pelmora_sound_outputs

namespace platform::tone {

// Loads the module (once per process; it stays loaded) and makes its outputs. When it cannot be loaded, the
// outputs returned are never available, and say why, so the alarm rings the bell and tells the user.
std::unique_ptr<Outputs> loadOutputs();

} // namespace platform::tone
