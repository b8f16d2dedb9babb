// What an edbtool command ends with: its exit code and the lines it prints,
// with the causes of failures in words, in the user's language.
#pragma once

#include <vector>

#include "rules/rule_csv.h"
#include "services/files.h"
#include "services/types.h"

namespace quillane::edbtool {

// One exit code per kind of failure (the usage text lists them).
enum class ExitCode : int {
  Ok = 0,
  Failed = 1,         // any other failure: the engine's own words
  Usage = 2,          // the command line is not one edbtool knows
  NotFound = 3,       // a file or folder that is not there
  InUse = 4,          // a file another program holds (such as Excel)
  NotATable = 5,      // not a table file, damaged, or not a rule table
  WrongPassword = 6,  // the table's password is another
  CsvRefused = 7,     // the CSV file has a problem on a named line
  TableOpen = 8,      // the rule table is open in Quillane
  Denied = 9,         // no permission, or a read-only file
};

struct Outcome {
  ExitCode code = ExitCode::Ok;
  std::vector<Text> lines;  // GBK; printed to stdout on success, stderr on failure
  bool ok() const { return code == ExitCode::Ok; }
};

// The engine's failure `code` about the table file `file` (a GBK path).
Outcome EngineFailure(int code, const Text& file, MessageLanguage language);
// A whole-file read or write of `file` that failed.
Outcome FileFailed(FileFailure failure, const Text& file, MessageLanguage language);
// The table file `file` is not a rule table.
Outcome NotARuleTable(const Text& file, MessageLanguage language);
// The table file `file` is open in Quillane (or held by another program).
Outcome TableHeld(const Text& file, MessageLanguage language);

// The usage text, with the version and the exit codes.
Text UsageText(MessageLanguage language);

}  // namespace quillane::edbtool
