#include "services/message_box.h"

#include <deque>
#include <mutex>
#include <utility>

#include "services/encoding.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillane {

namespace {

struct BoxState {
  std::mutex mutex;
  MessageBoxHandler handler;
  std::deque<int> queued;
  std::vector<MessageBoxCall> calls;
};

BoxState& State() {
  static BoxState state;
  return state;
}

}  // namespace

std::uint32_t EffectiveMessageBoxFlags(std::uint32_t flags) {
  return (flags & kMbSystemModal) ? flags : (flags | kMbTaskModal);
}

std::int32_t NumberMessageBoxAnswer(int platformButton) {
  switch (platformButton) {
    case kButtonOk:
      return kAnswerOk;
    case kButtonCancel:
      return kAnswerCancel;
    case kButtonAbort:
      return kAnswerAbort;
    case kButtonRetry:
      return kAnswerRetry;
    case kButtonIgnore:
      return kAnswerIgnore;
    case kButtonYes:
      return kAnswerYes;
    case kButtonNo:
      return kAnswerNo;
    // 0 is a box that could not be shown; like any answer we do not know,
    // it never counts as OK, so a failed question deletes or ends nothing.
    default:
      return kAnswerCancel;
  }
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(State().mutex);
  State().handler = std::move(handler);
}

void QueueMessageBoxButton(int platformButton) {
  std::lock_guard lock(State().mutex);
  State().queued.push_back(platformButton);
}

std::vector<MessageBoxCall> TakeMessageBoxCalls() {
  std::lock_guard lock(State().mutex);
  return std::exchange(State().calls, {});
}

std::int32_t ShowMessageBox(const Value& message, std::uint32_t flags, std::string_view title,
                            std::uintptr_t owner) {
  // Texts, numbers, bool and date-time show as ToText gives them; byte arrays
  // and routine pointers show nothing.
  const bool shown =
      !std::holds_alternative<Bytes>(message) && !std::holds_alternative<RoutinePointer>(message);
  return ShowMessageBox(std::string_view(shown ? ToText(message) : Text()), flags, title, owner);
}

std::int32_t ShowMessageBox(std::string_view message, std::uint32_t flags, std::string_view title,
                            std::uintptr_t owner) {
  MessageBoxCall call{Text(title), Text(message), EffectiveMessageBoxFlags(flags), owner};
  MessageBoxHandler handler;
  {
    std::lock_guard lock(State().mutex);
    handler = State().handler;
#ifndef _WIN32
    State().calls.push_back(call);
    if (!handler) {
      int button = kButtonOk;
      if (!State().queued.empty()) {
        button = State().queued.front();
        State().queued.pop_front();
      }
      return NumberMessageBoxAnswer(button);
    }
#endif
  }
  if (handler) return NumberMessageBoxAnswer(handler(call));
#ifdef _WIN32
  const int button = MessageBoxW(reinterpret_cast<HWND>(owner), WideFromGbk(call.text).c_str(),
                                 WideFromGbk(call.title).c_str(), call.flags);
  return NumberMessageBoxAnswer(button);
#else
  return kAnswerOk;
#endif
}

}  // namespace quillane
