#include "app/rule_review.h"

#include <cstdint>
#include <vector>

#include "app/settings_window.h"
#include "rules/rule_checks.h"
#include "rules/rule_matcher.h"
#include "rules/rule_store.h"
#include "app/stored_settings.h"
#include "services/message_box.h"
#include "services/values.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

constexpr char kListNotSaved[] =
    "（按列表中现在的规则测试；修改过的规则点击“保存”后才对顾客生效。）";
// Quillane reads the default reply at start-up only.
constexpr char kDefaultReplyAtNextStart[] =
    "\r\n（这是窗口中的默认回复；保存后要重新启动 Quillane 才会发给顾客。）";

ui::Control SettingsControl(const char* name) { return ui::Control(ui::WindowId::Settings, name); }

void Tell(const Text& message, const char* title) {
  const std::uintptr_t owner =
      ui::IsWindowOpen(ui::WindowId::Settings) ? ui::WindowHandle(ui::WindowId::Settings) : 0;
  ShowMessageBox(message, kMbIconInformation, title, owner);
}

// A row of the list as staff count them: from 1.
Text RowNumber(std::size_t row) { return ToText(static_cast<std::int64_t>(row) + 1); }

// "第 3 行", "第 2、5 行".
Text Rows(const std::vector<std::size_t>& rows) {
  Text text = "第 ";
  for (std::size_t i = 0; i < rows.size(); ++i) text += (i > 0 ? "、" : "") + RowNumber(rows[i]);
  return text + " 行";
}

// What the tester says: the row that answers, with its keyword piece, and the
// reply sent (the default reply when none answers or the reply is blank).
Text TesterMessage(const std::vector<RuleRow>& rows, const RuleAnswer& answer, Text defaultReply) {
  if (defaultReply != Settings().defaultReply) defaultReply += kDefaultReplyAtNextStart;
  const Text note = Text("\r\n\r\n") + kListNotSaved;
  if (!answer.matched()) return Text(kNoRuleMatches) + "：\r\n" + defaultReply + note;
  const RuleRow& rule = rows[answer.row];
  Text text = Rows({answer.row}) + "的规则回复这条消息\r\n关键词：“" + answer.keyword + "”（" +
              rule.matchRule + "，匹配码 " + rule.matchCode + "）\r\n";
  if (SendsDefaultReply(rule.reply)) {
    text += "它的回复语为空，将发送默认回复：\r\n" + defaultReply;
  } else {
    text += "将发送的回复：\r\n" + rule.reply;
  }
  return text + note;
}

// Everything listed after the first row: the others that hold a keyword.
std::vector<std::size_t> OtherRows(const RuleCheck& check) {
  std::vector<std::size_t> others;
  for (const std::size_t row : check.rows) {
    if (row != check.row) others.push_back(row);
  }
  return others;
}

// One finding in words, starting with its row.
Text FindingLine(const RuleCheck& check) {
  const Text row = Rows({check.row}) + "：";
  switch (check.kind) {
    case RuleCheckKind::SharedKeyword:
      return row + "关键词“" + check.keyword + "”也在" + Rows(OtherRows(check)) + "，由" +
             Rows({check.row}) + "回复（匹配码大的先匹配）";
    case RuleCheckKind::EmptyKeyword:
      return row + "关键词中有空项（以“|”开头，或两个“|”相连）";
    case RuleCheckKind::BlankAround:
      return row + "关键词“" + check.keyword + "”的开头或末尾有空格";
    case RuleCheckKind::NeverAnswers:
      if (check.rows.empty()) return row + "没有能匹配消息的关键词，永远不会回复";
      return row + "永远不会回复，它能匹配的消息都先由" + Rows(check.rows) + "回复";
  }
  return row;
}

// The findings, at most kFindingsShown of them, and how many more there are.
Text ChecksReport(const std::vector<RuleCheck>& checks) {
  if (checks.empty()) return kNoProblemsFound;
  Text text = "发现 " + ToText(static_cast<std::int64_t>(checks.size())) +
              " 个问题（行号是列表中的行，从 1 数起）：\r\n";
  for (std::size_t i = 0; i < checks.size() && i < kFindingsShown; ++i) {
    text += FindingLine(checks[i]) + "\r\n";
  }
  if (checks.size() > kFindingsShown) {
    text += "……另有 " + ToText(static_cast<std::int64_t>(checks.size() - kFindingsShown)) +
            " 个问题未列出。\r\n";
  }
  return text;
}

}  // namespace

void TestCustomerMessage() {
  const ui::Control input = SettingsControl("编辑框_测试顾客消息");
  const Text customer = input.GetText();
  if (customer.empty()) {
    Tell(kEnterCustomerMessage, kTesterTitle);
    input.Focus();
    return;
  }
  const std::vector<RuleRow> rows = RulesListRows();
  const RuleAnswer answer = RuleMatcher::InSortedCopyOrder(rows).Answer(customer);
  if (answer.matched()) {
    // The answering row becomes the list's current row and fills the inputs,
    // as a click on it does (the event comes only when the row changes).
    SettingsControl("超级列表框_列表").SetCurrentRow(static_cast<int>(answer.row));
    ShowSelectedRule();
  }
  Tell(TesterMessage(rows, answer, SettingsControl("编辑框_默认回复内容").GetText()), kTesterTitle);
}

void CheckListedRules() { Tell(ChecksReport(CheckRules(RulesListRows())), kChecksTitle); }

}  // namespace quillane
