// The real tone: a sine wave played on a thread of its own, so that the window never waits on the sound.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Starts a tone and returns at once. A tone asked for while one plays follows it; one, not more.
void beep(int hz, int ms);
// Readies the tone's thread and sound setup ahead of the first tone, so that one is not late.
void readyTone();
// Ends the tone now and forgets the one waiting; nothing to do when no tone was ever readied.
void silenceTone();
// Stops the tone and ends its thread: called before the application object goes, which the thread uses.
void shutDownTone();
// Who hears that no tone could be played at all (no sound server, no device, a busy device, a server that
// does not answer): called on the GUI thread, at most once from readyTone to silenceTone, with the reason.
void setToneFailureHandler(std::function<void(const std::string& reason)> handler);

} // namespace platform
