// The embedded application manager: the reference server's dispatch and
// store running inside the calling process, reached through the in-process
// transport when the configured endpoint is "embedded" (the default).
#ifndef EVTASK_APPMGR_EMBEDDED_H
#define EVTASK_APPMGR_EMBEDDED_H

#include <string>

namespace evtask {
namespace appmgr {

struct EmbeddedOptions {
  std::string dbPath;         // empty: default file under the user's data folder
  bool initDemo = false;      // load the demo catalogue into an empty store
  double jobSpeed = 1.0;      // job simulator speed factor (higher = faster)
  double failureRatio = 0.0;  // share of simulated jobs that end in failure
};

// Registers the embedded application manager as the provider of "embedded"
// sessions. The store is opened (created and migrated when needed) here, so
// a database that cannot be used is reported now rather than by the first
// session. Calling it again with the same database file keeps the open
// server, with the options it was opened with; with another file the
// earlier server is closed once the new one is open (a file that cannot be
// opened leaves the earlier server in place).
// Returns 0, or a non-zero code with a clear text in err.
// Thread safety: calls are serialised; a session still running on a server
// that another file replaced fails with the closed store.
int registerEmbedded(const EmbeddedOptions& options, std::string& err);

// The database file used when EmbeddedOptions::dbPath is empty:
// $XDG_DATA_HOME/evtask/appmgr.db, else $HOME/.local/share/evtask/appmgr.db.
// Empty when neither variable is set.
std::string defaultDatabasePath();

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_EMBEDDED_H
