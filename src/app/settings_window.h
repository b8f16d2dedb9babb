// The settings window's logic: the rules list as the working copy of the
// rules, the inputs of one rule, the default reply and the waiting time, and
// the save that writes them to the rule table, Data.ini and the sorted copy.
//
// The load and the save run on threads of their own, one after the other in
// the order in which they were started, so a second save never overlaps the
// first and a window opened during a save shows the saved rules. A save
// takes the window's content when 按钮_保存 is pressed. A load thread reaches
// the window only while the window it was started for is still open, so
// closing the window during a load or a save is harmless (the save goes on
// to its end and reports its outcome in a box without owner).
#pragma once

#include <cstdint>
#include <vector>

#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/types.h"

namespace quillane {

inline constexpr char kLoadingSettingsStatus[] = "载入设置中";
inline constexpr char kSeparator[] = "|";
inline constexpr std::int32_t kShortestWaitSeconds = 5;
inline constexpr char kShortestWaitText[] = " 5";
// How often a wait that keeps the windows answering looks again.
inline constexpr std::int32_t kPumpIntervalMs = 50;

// Messages of the save, shown with the title "提示".
inline constexpr char kSaveSucceeded[] = "保存成功！";
inline constexpr char kSaveFailed[] = "保存失败，请重试！";  // followed by -1 .. -5
inline constexpr char kSortSaveFailed[] = "排序保存失败，请重试！-6";
inline constexpr char kOpenSaveFailed[] = "打开保存失败，请重试！-7";

// 按钮_保存's caption, and what it says while the rules list is loading.
inline constexpr char kSaveCaption[] = "保存";
inline constexpr char kLoadingSaveCaption[] = "载入中…";
// The list could not be read whole; it is not saved.
inline constexpr char kRulesUnreadable[] = "规则表读取失败";
inline constexpr char kRulesUnreadableAdvice[] =
    "\r\n为免丢失规则，本次不能保存。请关闭设置窗口后重新打开。";
// The main window's status while exit waits for a save.
inline constexpr char kSavingBeforeExitStatus[] = "正在保存设置，保存完成后退出…";

// Binds the settings window's handlers to the names its definition uses.
void BindSettingsWindowHandlers();

// Event handlers (main thread).
void StartLoadSettings();
void SettingsDestroying();
void InsertSeparator();
void ClampWaitTime();
void ShowSelectedRule();
void AddRule();
void ModifyRule();
void DeleteRule();
void StartSaveSettings();

// The rows of the rules list as it shows them (main thread).
std::vector<RuleRow> RulesListRows();

// The content of a new Data.ini: the four default lines, 103 bytes.
Bytes DefaultSettingsFile();

// True while a load or a save that has been started has not finished.
bool SettingsTasksPending();

// Waits, handling the thread's messages, until every load and save started
// has finished (a save's outcome box included); meanwhile the main window's
// status bar says that settings are being saved. Called on the main thread
// when staff have confirmed exit. False for a call made while an earlier one
// still waits (a second exit request), which the first one completes.
bool FinishSettingsTasks();

}  // namespace quillane
