// The program's start: the rule tables, the stored settings, the main window.
#pragma once

#include "services/types.h"

namespace quillane {

// Opens the rule table (writing the empty rule table when there is none),
// rebuilds and opens the sorted copy, reads Data.ini and loads the main
// window. A rule table that exists but cannot be used (damaged, another
// password, not a rule table) is never overwritten: it is set aside under a
// new name and the user is told; if it cannot even be moved (another program
// holds it), nothing is changed, the user is told, and no window is loaded.
// True when the main window was loaded.
bool StartUp();

// The same start for the rule store of `directory`, without the window:
// what StartUp does before it reads the settings. False when the program
// cannot go on (the user has been told why).
bool OpenRuleStore(const Text& directory);

// The folder in which the rule store was last opened: the program's folder,
// where Data.ini lies too. Empty before the first OpenRuleStore.
Text StoreDirectory();

}  // namespace quillane
