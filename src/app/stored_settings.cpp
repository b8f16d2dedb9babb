#include "app/stored_settings.h"

#include "services/ini.h"
#include "services/values.h"

namespace quillane {

StoredSettings& Settings() {
  static StoredSettings settings;
  return settings;
}

void ReadStoredSettings(const Text& directory) {
  const Text file = directory + kSettingsFile;
  Settings().defaultReply = ReadIniItem(file, "Reply", "Default", kBuiltInDefaultReply);
  Settings().waitSeconds = ToInteger(ReadIniItem(file, "Wait", "second", kBuiltInWaitSeconds));
}

}  // namespace quillane
