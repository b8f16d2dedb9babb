// A backend without a screen: the windows exist only as the runtime's state.
// The window logic runs on it natively in tests, with the same handler code as
// on Windows. The user's actions (clicks, typing, closing) are simulated by the
// methods below; they go through the same runtime entry points as the Win32
// backend's notifications.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string_view>

#include "ui/backend.h"
#include "ui/runtime.h"

namespace quillane::ui {

class HeadlessBackend : public Backend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // While attached, ProcessEvents (and so Delay) on the main thread carries out
  // the calls that worker threads have queued.
  void Attach(Runtime& runtime) override;

  Place Screen() override;
  bool Create(WindowState& win) override;
  void Show(WindowState& win) override;
  void BringToFront(WindowState& win) override;
  void Destroy(WindowState& win) override;
  void Update(WindowState& win, ControlState& ctl, Change change, int a, int b) override;
  Place QueryPlace(WindowState& win, ControlState* ctl) override;
  Place QueryClient(WindowState& win, ControlState* ctl) override;
  std::uintptr_t Handle(WindowState& win, ControlState* ctl) override;
  void Focus(WindowState& win, ControlState& ctl) override;
  void AppendText(WindowState& win, ControlState& ctl, const Text& text) override;
  void Wake() override;
  int RunLoop() override;
  void QuitLoop() override;

  // --- Simulated user input (main thread) ---------------------------------
  // Each returns false when the window or control is not there to act on.
  bool ClickButton(WindowId w, std::string_view name);
  bool ClickToolButton(WindowId w, std::string_view name, int button);
  // Types each character (GBK; a lead byte and its trail byte are one
  // character; '\b' deletes the last character), as the control's keyboard
  // filter allows.
  bool TypeText(WindowId w, std::string_view name, std::string_view chars);
  // Clicks a tab: only a selectable page can be chosen.
  bool ClickPage(WindowId w, std::string_view name, int page);
  // Clicks a row (-1: beside the rows, which clears the selection).
  bool ClickRow(WindowId w, std::string_view name, int row);
  bool SelectComboItem(WindowId w, std::string_view name, int index);
  // The close box: true if the window closed.
  bool RequestClose(WindowId w);
  // The user sizes the window (outer size).
  bool ResizeWindow(WindowId w, int width, int height);

  // --- Observations for tests ------------------------------------------------
  int BuildCount(WindowId w) const { return builds_[static_cast<int>(w)]; }
  int FrontCount(WindowId w) const { return fronts_[static_cast<int>(w)]; }
  Text FocusedControl() const { return focused_; }
  // Fails the next Create (a window that cannot be made).
  void FailNextCreate() { failNextCreate_ = true; }

  static constexpr int kToolBarHeight = 40;
  static constexpr int kStatusBarHeight = 20;

 private:
  WindowState* Open(WindowId w);
  int ControlIndex(WindowId w, std::string_view name);

  WindowState* windows_[kWindowCount] = {nullptr, nullptr};
  int builds_[kWindowCount] = {0, 0};
  int fronts_[kWindowCount] = {0, 0};
  Text focused_;
  bool failNextCreate_ = false;

  std::mutex m_;
  std::condition_variable cv_;
  bool woken_ = false;
  bool quit_ = false;
};

}  // namespace quillane::ui
