// The settings window's rules list to and from CSV files, the way shops keep
// their rules in a spreadsheet. Import reads a whole file first and changes
// the list only when every row has been read; nothing is stored until staff
// press 按钮_保存. Export writes the rows as the list shows them.
#pragma once

#include <cstddef>

namespace quillane {

inline constexpr char kImportTitle[] = "导入规则";
inline constexpr char kExportTitle[] = "导出规则";
inline constexpr char kCsvTypeName[] = "CSV 文件 (*.csv)";
inline constexpr char kExportFileName[] = "回复规则.csv";
// At most this many notes are listed in the import summary.
inline constexpr std::size_t kNotesShown = 10;

// Event handlers of 按钮_导入规则 and 按钮_导出规则 (main thread).
void ImportRules();
void ExportRules();

}  // namespace quillane
