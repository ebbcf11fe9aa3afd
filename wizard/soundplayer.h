// The completion sound, played through the desktop's event-sound service
// (libcanberra: PulseAudio, PipeWire or ALSA, whichever the session has).
#pragma once

#include <chrono>
#include <string>

namespace qb::wiz {

// Plays the sound file at path and waits until it has finished, but never
// longer than limit. Returns true when the sound was played to its end.
// A missing file, a session without a sound server or device, or a file the
// service cannot play is silence: false, no message, no exception. The
// playing runs on a thread of its own, so even a service that never answers
// costs the caller no more than limit.
bool PlaySoundFileAndWait(const std::string& path,
                          std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace qb::wiz
