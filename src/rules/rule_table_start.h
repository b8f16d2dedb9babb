// Opening the rule table when the program starts, without ever changing the
// rules on disk: what the file is found to be, and the steps that keep an
// unusable or damaged file whole before anything else happens. The program
// tells the user; this layer only does and reports.
#pragma once

#include "services/types.h"

namespace quillane {

enum class RuleTableFound {
  Opened,         // a rule table, open for reading
  ReadOnly,       // the same, and the file is read-only (saves will fail)
  Missing,        // there is none
  NotARuleTable,  // a table without the four rule fields (closed again)
  Unreadable,     // not a table Quillane can read: damaged header, another password
  Damaged,        // its record count does not fit its length
  Held,           // held by another program
  Unreachable,    // no access, a disk error
};

struct RuleTableOpening {
  RuleTableFound found = RuleTableFound::Missing;
  Text reason;  // the engine's words for a failed open
};

// Removes what an interrupted save left behind; a rule table that a save had
// put aside and not yet replaced is put back first.
void TidyRuleStoreLeftOvers(const Text& directory);

// Opens `directory`\Database.edb for reading only and says what it found.
RuleTableOpening OpenRuleTableAtStart(const Text& directory);

// Writes the stored empty rule table and opens it; false when it cannot be
// written.
bool CreateEmptyRuleTable(const Text& directory);

// Moves the rule table, and its companion file if it has one, aside as
// Database-unreadable-<stamp>.edb; the new name, empty when it could not be
// moved (then nothing changed).
Text SetRuleTableAside(const Text& directory, const Text& stamp);

// Copies a damaged rule table's bytes whole to Database-damaged-<stamp>.edb
// (a free name), then opens its complete records. `copyName` gets the copy's
// name; `reason` the engine's words when a step failed.
struct DamagedTableUse {
  bool copied = false;
  bool opened = false;
  Text copyName;
  Text reason;
};
DamagedTableUse UseDamagedRuleTable(const Text& directory, const Text& stamp);

// The number of rules in the open rule table.
int RuleCount();

// Makes the rule table the engine's current table.
void MakeRuleTableCurrent();

// The engine's words for the damage of a table whose record count does not
// fit its length.
Text DamagedTableText();

}  // namespace quillane
