// Stored settings beyond the window's own hooks.
#pragma once

namespace qb::wiz {

class TfrmOEMain;

// SIGTERM (the session's logout), SIGINT and SIGHUP store the settings as a
// confirmed close does and end the program's event loop. Call once, after
// the window exists.
void SaveOnTerminationSignals(TfrmOEMain& form);

}  // namespace qb::wiz
