#include "wizard/soundplayer.h"

#include <alsa/error.h>
#include <canberra.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/paths.h"

namespace qb::wiz {

namespace {

// Shared between the caller, the playing thread and libcanberra's finish
// callback; whoever is last lets it go.
struct TPlayState {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;  // the attempt is over, played or not
  bool Played = false;    // the sound ran to its end
};

void Finish(TPlayState& s, bool played) {
  {
    std::lock_guard lock(s.Mutex);
    s.Finished = true;
    s.Played = played;
  }
  s.Done.notify_all();
}

void OnPlayed(ca_context*, uint32_t, int error, void* userdata) {
  auto* state = static_cast<std::shared_ptr<TPlayState>*>(userdata);
  Finish(**state, error == CA_SUCCESS);
  delete state;
}

// ALSA's library reports a machine without a sound card on stderr; for us
// that is only silence.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Runs on its own thread: one context, one sound, the wait for its end.
void Play(const std::string& path, const std::shared_ptr<TPlayState>& state,
          std::chrono::milliseconds limit) {
  static const int quiet = snd_lib_error_set_handler(QuietAlsa);
  (void)quiet;
  ca_context* ctx = nullptr;
  if (ca_context_create(&ctx) != CA_SUCCESS) return Finish(*state, false);
  ca_context_change_props(ctx, CA_PROP_APPLICATION_NAME, "Quillbox", CA_PROP_APPLICATION_ID,
                          "org.quillbox.Quillbox", nullptr);
  ca_proplist* props = nullptr;
  ca_proplist_create(&props);
  ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, path.c_str());
  ca_proplist_sets(props, CA_PROP_EVENT_DESCRIPTION, "Extraction finished");
  ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
  auto* userdata = new std::shared_ptr<TPlayState>(state);
  if (ca_context_play_full(ctx, 1, props, OnPlayed, userdata) != CA_SUCCESS) {
    // No callback follows a failed start.
    delete userdata;
    Finish(*state, false);
  } else {
    // Keep the context alive until the sound has ended or the caller gave up.
    std::unique_lock lock(state->Mutex);
    state->Done.wait_for(lock, limit, [&] { return state->Finished; });
  }
  // Destroying the context stops a sound still playing; its callback then
  // reports the cancellation.
  ca_proplist_destroy(props);
  ca_context_destroy(ctx);
}

}  // namespace

bool PlaySoundFileAndWait(const std::string& path, std::chrono::milliseconds limit) {
  if (path.empty() || !FileExists(path)) return false;
  auto state = std::make_shared<TPlayState>();
  std::thread([path, state, limit] { Play(path, state, limit); }).detach();
  std::unique_lock lock(state->Mutex);
  state->Done.wait_for(lock, limit, [&] { return state->Finished; });
  return state->Finished && state->Played;
}

}  // namespace qb::wiz
