// Message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "services/types.h"
#include "services/values.h"

namespace quillane {

// Flag values of the platform's message box.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbYesNoCancel = 0x3;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbSystemModal = 0x1000;
inline constexpr std::uint32_t kMbTaskModal = 0x2000;

// The numbered answers ShowMessageBox returns.
enum MessageBoxAnswer : std::int32_t {
  kAnswerOk = 0,
  kAnswerCancel = 1,
  kAnswerAbort = 2,
  kAnswerRetry = 3,
  kAnswerIgnore = 4,
  kAnswerYes = 5,
  kAnswerNo = 6,
};

// The platform's button identifiers (IDOK = 1 ... IDNO = 7).
enum MessageBoxButton : int {
  kButtonOk = 1,
  kButtonCancel = 2,
  kButtonAbort = 3,
  kButtonRetry = 4,
  kButtonIgnore = 5,
  kButtonYes = 6,
  kButtonNo = 7,
};

// The flags the box is shown with: the given ones plus task-modal, unless
// system-modal is among them.
std::uint32_t EffectiveMessageBoxFlags(std::uint32_t flags);
// A platform button identifier as the numbered answer. A box that could not
// be shown (0) and any unknown identifier give Cancel.
std::int32_t NumberMessageBoxAnswer(int platformButton);

inline constexpr std::string_view kDefaultMessageBoxTitle = "信息：";

// Shows a message box and returns the numbered answer (Cancel when the box
// cannot be shown). The message is any
// value: text as is, numbers and bool as ToText gives them, date-time as a date
// text, anything else the empty text. `owner` is a native window handle or 0.
std::int32_t ShowMessageBox(const Value& message, std::uint32_t flags,
                            std::string_view title = kDefaultMessageBoxTitle,
                            std::uintptr_t owner = 0);
std::int32_t ShowMessageBox(std::string_view message, std::uint32_t flags,
                            std::string_view title = kDefaultMessageBoxTitle,
                            std::uintptr_t owner = 0);
inline std::int32_t ShowMessageBox(const char* message, std::uint32_t flags,
                                   std::string_view title = kDefaultMessageBoxTitle,
                                   std::uintptr_t owner = 0) {
  return ShowMessageBox(std::string_view(message ? message : ""), flags, title, owner);
}
inline std::int32_t ShowMessageBox(const Text& message, std::uint32_t flags,
                                   std::string_view title = kDefaultMessageBoxTitle,
                                   std::uintptr_t owner = 0) {
  return ShowMessageBox(std::string_view(message), flags, title, owner);
}
template <typename T>
requires(std::is_arithmetic_v<T>) std::int32_t
    ShowMessageBox(T message, std::uint32_t flags, std::string_view title = kDefaultMessageBoxTitle,
                   std::uintptr_t owner = 0) {
  return ShowMessageBox(std::string_view(ToText(message)), flags, title, owner);
}

// One box as it was shown (title, text and the effective flags).
struct MessageBoxCall {
  Text title;
  Text text;
  std::uint32_t flags = 0;
  std::uintptr_t owner = 0;
};

// Test seam, on both systems: a handler installed here takes the place of the
// platform's box and returns the platform button pressed. Natively, when no
// handler is installed, the boxes are answered from a queue of buttons
// (QueueMessageBoxButton; OK when it is empty) and every call is recorded
// (TakeMessageBoxCalls). Thread-safe.
using MessageBoxHandler = std::function<int(const MessageBoxCall& call)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
void QueueMessageBoxButton(int platformButton);
std::vector<MessageBoxCall> TakeMessageBoxCalls();

}  // namespace quillane
