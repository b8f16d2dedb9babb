// The rule commands of edbtool: rules out of a rule table into a CSV file,
// and rules from a CSV file into a rule table, with the reader and writer the
// settings window uses; which rule answers a customer text, with the
// reply service's matcher. Paths and texts are GBK.
#pragma once

#include <vector>

#include "rules/rule_csv.h"
#include "services/types.h"
#include "tools/edbtool/outcome.h"

namespace quillane::edbtool {

// Writes the rules of `table` (opened for reading only, so it is never
// changed, and Quillane may keep running) as the CSV file `csv`.
Outcome ExportRulesToCsv(const Text& table, const Text& csv, MessageLanguage language);

// Reads the CSV file whole and makes its rows the rules of `table`: a new
// table is written beside it (<name>-importing.edb) and renamed into place;
// an existing table must be a rule table, keeps its field widths, and is
// kept as <name>-<date>-<time>.edb. Nothing changes when the CSV file has a
// problem or while another program (Quillane) holds the table open. The
// lines name the notes of the file, the number of rules and the backup.
Outcome ImportRulesFromCsv(const Text& csv, const Text& table, MessageLanguage language);

// Which rule answers each customer text, one line per text: the row (1-based,
// in the order the replies are tried), the keyword piece and its match rule,
// and the reply; or that the default reply is sent (no rule matches, or the
// rule's reply is blank). The rules of `table` (opened for reading only) are
// tried as Quillane tries them: the sorted copy Sorting.edb in its record
// order, any other rule table in the order its sorted copy gets.
Outcome AnswerTexts(const Text& table, const std::vector<Text>& texts, MessageLanguage language);

}  // namespace quillane::edbtool
