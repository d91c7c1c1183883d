// A folder private to the user for files that live only while the program runs.
// Thread safety: may be called from any thread.
#pragma once

#include <string>

namespace korvane {

// $XDG_RUNTIME_DIR/KorvaneAppDownload, else /tmp/KorvaneAppDownload-<uid>; made when
// missing. Empty when it cannot be made, or when what is there is not a folder of this
// user's that only this user can enter (a name in a shared folder must not be trusted).
std::string PrivateRunFolder();
// The process id, for names of files of this process in that folder.
long ProcessId();

}  // namespace korvane
