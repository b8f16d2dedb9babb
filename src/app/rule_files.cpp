#include "app/rule_files.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/settings_window.h"
#include "rules/rule_csv.h"
#include "rules/rule_store.h"
#include "services/file_dialog.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/values.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

constexpr char kCsvPattern[] = "*.csv";
constexpr char kCsvExtension[] = "csv";
constexpr char kUnusablePath[] =
    "所选文件的路径中含有本程序无法处理的字符。\r\n请把文件改名或移到其他文件夹后重试。";
constexpr char kCheckBeforeSaving[] = "导入后请检查列表，点击“保存”后规则才会生效。";

ui::Control List() { return ui::Control(ui::WindowId::Settings, "超级列表框_列表"); }

std::uintptr_t OwnerWindow() {
  return ui::IsWindowOpen(ui::WindowId::Settings) ? ui::WindowHandle(ui::WindowId::Settings) : 0;
}

Text Count(std::size_t n) { return ToText(static_cast<std::int64_t>(n)); }

void Tell(const Text& message, std::uint32_t icon, const char* title) {
  ShowMessageBox(message, icon, title, OwnerWindow());
}

// Why `path` could not be read (import) or written (export), in words.
Text FileFailureMessage(FileFailure failure, const Text& path, bool writing) {
  switch (failure) {
    case FileFailure::NotFound:
      return writing ? "找不到要保存到的文件夹：" + path : "找不到文件 " + path;
    case FileFailure::InUse:
      return "文件 " + path +
             " 正被其他程序（例如 Excel 或 WPS）占用。\r\n请先在那个程序中关闭它，然后重试。";
    case FileFailure::Denied:
      return writing ? "没有权限写入文件 " + path + "（文件可能是只读的，或文件夹不允许写入）。"
                     : "没有权限读取文件 " + path + "。";
    default:
      return writing ? "写入文件 " + path + " 时出错（磁盘可能已满），原有的文件没有改动。"
                     : "读取文件 " + path + " 时出错。";
  }
}

// The summary and the question before the rows land in the list.
Text ImportQuestion(const RuleCsvRead& read, int listRows) {
  Text q = "将导入 " + Count(read.rows.size()) + " 条规则\r\n";
  if (!read.notes.empty()) {
    q += "\r\n请留意：\r\n";
    for (std::size_t i = 0; i < read.notes.size() && i < kNotesShown; ++i) {
      q += RuleCsvMessage(read.notes[i], MessageLanguage::Chinese) + "\r\n";
    }
    if (read.notes.size() > kNotesShown) {
      q += "……另有 " + Count(read.notes.size() - kNotesShown) + " 条提示未列出。\r\n";
    }
  }
  if (listRows > 0) {
    q += "\r\n列表中现有 " + Count(static_cast<std::size_t>(listRows)) +
         " 条规则。\r\n"
         "是(Y)：用导入的规则替换列表中的规则\r\n"
         "否(N)：把导入的规则追加到列表末尾\r\n"
         "取消：不导入\r\n";
  }
  return q + "\r\n" + kCheckBeforeSaving;
}

// Reads and checks the chosen file; the rows when the whole file could be read.
std::optional<RuleCsvRead> ReadImportFile(const Text& path) {
  Bytes bytes;
  if (const FileFailure failure = ReadWholeFile(path, &bytes); failure != FileFailure::None) {
    Tell("未能导入，列表没有改动。\r\n\r\n" + FileFailureMessage(failure, path, false),
         kMbIconError, kImportTitle);
    return std::nullopt;
  }
  RuleCsvRead read =
      ReadRuleCsv(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                  RuleTextWidths());
  if (!read.ok()) {
    Tell("未能导入 " + path + "，列表没有改动：\r\n\r\n" +
             RuleCsvMessage(*read.refusal, MessageLanguage::Chinese),
         kMbIconError, kImportTitle);
    return std::nullopt;
  }
  return read;
}

// The file chosen in the system's dialog; empty when cancelled or unusable
// (then staff have been told).
Text ChooseCsvFile(FileDialogKind kind) {
  const bool open = kind == FileDialogKind::Open;
  const ChosenFile chosen =
      ChooseFile({kind, open ? kImportTitle : kExportTitle, kCsvTypeName, kCsvPattern,
                  kCsvExtension, open ? "" : kExportFileName, OwnerWindow()});
  if (chosen.outcome == ChosenFile::Outcome::Unusable)
    Tell(kUnusablePath, kMbIconError, open ? kImportTitle : kExportTitle);
  // The window may have gone while the dialog was up.
  if (!ui::IsWindowOpen(ui::WindowId::Settings)) return {};
  return chosen.outcome == ChosenFile::Outcome::Chosen ? chosen.path : Text();
}

}  // namespace

void ImportRules() {
  const Text path = ChooseCsvFile(FileDialogKind::Open);
  if (path.empty()) return;
  const std::optional<RuleCsvRead> read = ReadImportFile(path);
  if (!read || !ui::IsWindowOpen(ui::WindowId::Settings)) return;
  const ui::Control list = List();
  const int existing = list.RowCount();
  const std::uint32_t buttons = existing > 0 ? kMbYesNoCancel : kMbOkCancel;
  const std::int32_t answer = ShowMessageBox(
      ImportQuestion(*read, existing), buttons | kMbIconQuestion, kImportTitle, OwnerWindow());
  const bool replace = answer == kAnswerYes;
  if (!replace && answer != kAnswerNo && answer != kAnswerOk) return;
  if (!ui::IsWindowOpen(ui::WindowId::Settings)) return;
  if (replace) {
    for (int r = list.RowCount() - 1; r >= 0; --r) list.DeleteRow(r);
  }
  for (const RuleRow& row : read->rows) {
    const int r = list.InsertRow();
    list.SetCellText(r, 0, row.keywords);
    list.SetCellText(r, 1, row.reply);
    list.SetCellText(r, 2, row.matchRule);
    list.SetCellText(r, 3, row.matchCode);
  }
}

void ExportRules() {
  const Text path = ChooseCsvFile(FileDialogKind::Save);
  if (path.empty()) return;
  const std::vector<RuleRow> rows = RulesListRows();
  if (const FileFailure failure = WriteWholeFile(path, WriteRuleCsv(rows));
      failure != FileFailure::None) {
    Tell("导出失败。\r\n\r\n" + FileFailureMessage(failure, path, true), kMbIconError,
         kExportTitle);
    return;
  }
  Tell("已导出 " + Count(rows.size()) + " 条规则到 " + path + "。", kMbIconInformation,
       kExportTitle);
}

}  // namespace quillane
