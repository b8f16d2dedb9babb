// The settings window's rule tester (按钮_测试) and rule checks (按钮_检查规则).
// Both read the rules as the list holds them now, unsaved edits included, and
// try them in the order the reply service tries them once they are saved:
// the tester answers through the reply service's own matcher, so what it
// shows is the reply a customer would get after 按钮_保存.
#pragma once

#include <cstddef>

namespace quillane {

inline constexpr char kTesterTitle[] = "规则测试";
inline constexpr char kChecksTitle[] = "检查规则";
inline constexpr char kNoRuleMatches[] = "没有规则匹配，将发送默认回复";
inline constexpr char kNoProblemsFound[] = "没有发现问题";
inline constexpr char kEnterCustomerMessage[] = "请输入要测试的顾客消息";
// At most this many findings are listed in the checks' box.
inline constexpr std::size_t kFindingsShown = 20;

// Event handlers of 按钮_测试 and 按钮_检查规则 (main thread).
void TestCustomerMessage();
void CheckListedRules();

}  // namespace quillane
