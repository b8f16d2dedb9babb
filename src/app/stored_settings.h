// The two stored settings, read from Data.ini at start and kept for the run.
#pragma once

#include <atomic>
#include <cstdint>

#include "services/types.h"

namespace quillane {

inline constexpr char kSettingsFile[] = "\\Data.ini";
inline constexpr char kBuiltInDefaultReply[] =
    "亲非常抱歉，目前客服不在线哦，客服上线后会第一时间回复您哈。[拥抱]";
inline constexpr char kBuiltInWaitSeconds[] = "5";

struct StoredSettings {
  Text defaultReply;  // sent when no rule matches or the matching reply is blank
  std::atomic<std::int32_t> waitSeconds{0};  // handed to the clients by "全部启动"
};

// The process-wide record.
StoredSettings& Settings();

// Reads both values from `directory`\Data.ini, with the built-in defaults for
// a missing file, section or key. Never writes the file.
void ReadStoredSettings(const Text& directory);

}  // namespace quillane
