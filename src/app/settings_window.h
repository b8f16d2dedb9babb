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

#include "services/types.h"

namespace quillane {

inline constexpr char kLoadingSettingsStatus[] = "载入设置中";
inline constexpr char kSeparator[] = "|";
inline constexpr char kContainsRule[] = "包含";
inline constexpr std::int32_t kShortestWaitSeconds = 5;

// Messages of the save, shown with the title "提示".
inline constexpr char kSaveSucceeded[] = "保存成功！";
inline constexpr char kSaveFailed[] = "保存失败，请重试！";        // followed by -1 .. -5
inline constexpr char kSortSaveFailed[] = "排序保存失败，请重试！-6";
inline constexpr char kOpenSaveFailed[] = "打开保存失败，请重试！-7";

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

// The content of a new Data.ini: the four default lines, 103 bytes.
Bytes DefaultSettingsFile();

// True while a load or a save that has been started has not finished.
bool SettingsTasksPending();

}  // namespace quillane
