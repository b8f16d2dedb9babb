// The program's start: the rule tables, the stored settings, the main window.
#pragma once

#include <string>

#include "services/types.h"

namespace quillane {

// Opens the rule table (writing the empty rule table when there is none),
// reads Data.ini and loads the main window. The rules load and the sorted
// copy is rebuilt and opened on a thread of its own meanwhile; when the
// sorted copy could not be made, the status bar says so.
// Opening never changes Database.edb:
// - one that is not a rule table Quillane can read (damaged header, another
//   password) is set aside under a new name, whole, and the user is told; if
//   it cannot even be moved, nothing is changed, the user is told, and no
//   window is loaded;
// - one whose record count does not fit its length is first copied to
//   Database-damaged-<date-time>.edb; its whole records are used and the user
//   is told how many and where the copy is;
// - a read-only one is used as it is, and the user is told that saves fail;
// - one that cannot be reached (held by another program, no access, a disk
//   error) stays as it is, the user is told the cause, and no window is loaded.
// Left-overs of an interrupted save are cleared first.
// True when the main window was loaded.
bool StartUp();

// The same start for the rule store of `directory`, without the window and
// without loading the rules: what StartUp does before it starts the load.
// False when the program cannot go on (the user has been told why).
bool OpenRuleStore(const Text& directory);

// When the last rebuild of the sorted copy failed and the main window is
// open, its status bar says why.
void ShowSortedCopyProblem();

// The name of the mutex a running Quillane holds for its folder (a full
// path, UTF-16): the same for every spelling of one folder ("/" or "\",
// letter case, a trailing separator), different for different folders.
Text InstanceMutexName(std::u16string folder);

// The folder in which the rule store was last opened: the program's folder,
// where Data.ini lies too. Empty before the first OpenRuleStore.
Text StoreDirectory();

}  // namespace quillane
