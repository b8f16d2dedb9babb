// The window runtime: builds the windows from their definitions, holds the
// state of their controls, raises control events to the handlers the logic
// binds by name, runs the message loop and reports run-time errors.
//
// The logic uses the plain handles at the end of this header:
//
//   ui::Control tabs(ui::WindowId::Main, "高级选择夹1");
//   int p = tabs.InsertPage("");
//   tabs.SetCurrentPage(p);
//   ui::Control(ui::WindowId::Main, "状态条1").SetPartText(1, "欢迎使用");
//
// Every call may come from any thread: a call from another thread waits until
// the main thread has carried it out, and the events it raises run on the main
// thread before it returns. A call on a window that is not open is a run-time
// error (a message box "错误", then the end of the program with -1); it never
// touches freed state.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "services/runtime_error.h"
#include "services/types.h"
#include "ui/backend.h"
#include "ui/definitions.h"
#include "ui/model.h"

namespace quillane::ui {

// An event as a handler receives it.
struct Event {
  WindowId window = WindowId::Main;
  Text control;  // empty for the window's own events
  EventKind kind = EventKind::Created;
  int args[3] = {0, 0, 0};
};

// A handler returns the answer of the asking events (MayClose, PageChanging);
// the others ignore it.
using Handler = std::function<bool(const Event&)>;

// A run-time error as reported: the pieces and the full text of the box.
struct RuntimeError {
  bool hasCode = false;
  int code = 0;
  Text message;
  int window = -1;  // WindowId as a number; -1 when raised by a routine of the logic
  Text control;
  Text report;  // the text shown in the box
};
using ErrorHook = std::function<void(const RuntimeError&)>;

// Run-time error messages.
inline constexpr std::string_view kErrWindowNotOpen = "未载入欲访问窗口组件所在的窗口";
inline constexpr std::string_view kErrReadNotCreated = "读取组件属性时发现指定窗口尚未载入";
inline constexpr std::string_view kErrWriteNotCreated = "修改组件属性时发现指定窗口尚未载入";
inline constexpr std::string_view kErrNoSuchControl = "指定窗口或窗口组件不存在或尚未载入";
using quillane::kErrTypeMismatch;  // the layers below report it too
inline constexpr std::string_view kErrLoadDefinitions = "载入窗口模板数据段出错!";
// An asking event (MayClose, PageChanging) whose handler name no function is
// bound to; the handler name follows the message.
inline constexpr std::string_view kErrUnboundHandler = "事件处理子程序未绑定：";

class Control;

class Runtime {
 public:
  // The thread that makes the runtime is its main thread; the new runtime
  // becomes the current one (Runtime::Current) until it is destroyed.
  explicit Runtime(std::unique_ptr<Backend> backend);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  static Runtime* Current();
  Backend& backend() { return *backend_; }
  bool OnMainThread() const { return std::this_thread::get_id() == mainThread_; }

  // Binds the handler name used in the definitions to a function. Binding a
  // name again replaces the earlier function.
  void BindHandler(std::string_view name, Handler handler);
  // The handler names of both window definitions that no function is bound
  // to, each once, in order.
  std::vector<Text> UnboundHandlers();
  // Replaces the default report (box, then end of program) of run-time errors.
  void SetErrorHook(ErrorHook hook);
  // Reports a run-time error (from the logic too, e.g. a field of the wrong
  // type). The default report does not return.
  // `window` is a WindowId as a number, or -1 for an error of a routine.
  void RaiseError(std::string_view message, int window, std::string_view control,
                  bool hasCode = false, int code = 0);
  // The text of the error box for the given pieces.
  static Text ErrorReportText(bool hasCode, int code, std::string_view message, int window,
                              std::string_view control);

  // --- Windows ------------------------------------------------------------
  bool LoadWindow(WindowId id, std::uintptr_t owner = 0);
  bool IsOpen(WindowId id);
  // As the close box: MayClose, then destruction. True if the window closed.
  bool CloseWindow(WindowId id);
  // Runs the message loop while a window is open; returns when the last one
  // has been destroyed (at once if none is open).
  int RunMessageLoop();
  // Main thread: carries out the calls other threads have queued.
  void RunPendingCalls();

  // --- User input, reported by a backend on the main thread ---------------
  void UserTextChanged(WindowState& win, int control, const Text& text);
  void UserClicked(WindowState& win, int control);
  void UserToolButton(WindowState& win, int control, int button);
  bool UserPageChanging(WindowState& win, int control, int page);
  void UserPageChanged(WindowState& win, int control, int page);
  void UserRowState(WindowState& win, int control, int row, bool selected, bool focused);
  void UserComboSelected(WindowState& win, int control, int index);
  bool UserCloseRequest(WindowState& win);
  void UserMovedOrResized(WindowState& win, bool moved, bool resized);
  // Another event of a control (RowActivated, ColumnClicked, DropDownClicked).
  void UserEvent(WindowState& win, int control, EventKind kind, int a0 = 0, int a1 = 0, int a2 = 0);

  // Runs fn on the main thread (directly when already there) and returns its
  // result; while the runtime is going away, returns fallback.
  template <typename R>
  R OnMain(std::function<R()> fn, R fallback);
  void OnMain(std::function<void()> fn);

 private:
  // The control operations work on the state kept here.
  friend class Control;

  struct PendingCall {
    std::function<void()> run;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  struct Target {
    std::shared_ptr<WindowState> win;
    ControlState* ctl = nullptr;
  };
  // What the logic is doing when it names a control; it decides the message
  // of the error when the window is not open.
  enum class Access { Property, KindRead, KindWrite, Operation };

  bool Dispatch(std::function<void()> fn);
  // The window while it is open, else null.
  std::shared_ptr<WindowState> OpenWindow(WindowId id) const;
  // Keeps `win` alive while user input is handled; null when it is no longer
  // an open window of this runtime.
  std::shared_ptr<WindowState> Live(WindowState& win) const;
  // The open window and (for a non-empty name) its control, reporting a
  // run-time error when there is none or the control is not of `kind`.
  Target Find(WindowId w, std::string_view name, Access access, std::optional<Kind> kind = {});
  bool Raise(const std::shared_ptr<WindowState>& win, ControlState* ctl, EventKind kind, int a0 = 0,
             int a1 = 0, int a2 = 0);
  bool AnswerUnbound(const WindowState& win, const ControlState* ctl, EventKind kind,
                     std::string_view handler);
  void Destroy(const std::shared_ptr<WindowState>& win);
  bool AnyOpen() const;
  bool SetCurrentPage(const Target& t, int page, bool byUser);

  std::unique_ptr<Backend> backend_;
  std::thread::id mainThread_;
  std::map<std::string, Handler, std::less<>> handlers_;
  ErrorHook errorHook_;
  std::shared_ptr<WindowState> windows_[kWindowCount];
  bool everLoaded_[kWindowCount] = {false, false};
  bool looping_ = false;

  std::mutex queueMutex_;
  std::deque<std::shared_ptr<PendingCall>> queue_;
  bool closing_ = false;
};

template <typename R>
R Runtime::OnMain(std::function<R()> fn, R fallback) {
  if (OnMainThread()) return fn();
  R result = fallback;
  Dispatch([&] { result = fn(); });
  return result;
}

// --- The logic's handles --------------------------------------------------

// A control of a window definition, addressed by its window and its name;
// an empty name stands for the window itself where that makes sense (Handle,
// ClientWidth, ClientHeight, IsShown). The handle itself holds no state; each
// call finds the control among the open windows of the current runtime and
// is carried out on its main thread.
class Control {
 public:
  Control(WindowId window, std::string_view name) : window_(window), name_(name) {}
  WindowId window() const { return window_; }
  const Text& name() const { return name_; }

  int Left() const { return Edge(&Place::left); }
  int Top() const { return Edge(&Place::top); }
  int Width() const { return Edge(&Place::width); }
  int Height() const { return Edge(&Place::height); }
  void SetLeft(int v) const { SetEdge(&Place::left, v); }
  void SetTop(int v) const { SetEdge(&Place::top, v); }
  void SetWidth(int v) const { SetEdge(&Place::width, v); }
  void SetHeight(int v) const { SetEdge(&Place::height, v); }

  // Edit box, combo box (the selected item's text), group box, label, button.
  Text GetText() const;
  void SetText(const Text& text) const;
  int CurrentIndex() const;
  void SetCurrentIndex(int index) const;
  int CurrentPage() const;
  void SetCurrentPage(int page) const;
  int CurrentRow() const;
  void SetCurrentRow(int row) const;

  // Tab control.
  int InsertPage(const Text& caption, int index = -1, int image = -1) const;
  bool DeletePage(int index) const;
  int PageCount() const;
  bool SetPageCaption(int index, const Text& caption) const;
  Text PageCaption(int index) const;

  // Status bar.
  void SetPartText(int part, const Text& text = Text()) const;
  void SetPartWidth(int part, int width = 50) const;
  Text PartText(int part) const;
  int PartWidth(int part) const;

  // Tool bar.
  int AddButtonState(int button, int bits) const;
  int RemoveButtonState(int button, int bits) const;
  int ButtonState(int button) const;

  // Report list.
  int InsertRow(int index = -1, const Text& caption = Text()) const;
  bool DeleteRow(int row) const;
  int RowCount() const;
  Text GetCellText(int row, int column = 0) const;
  bool SetCellText(int row, int column = 0, const Text& text = Text()) const;

  // The native window handle; 0 while the window is not open.
  std::uintptr_t Handle() const;
  int ClientWidth() const { return Client().width; }
  int ClientHeight() const { return Client().height; }
  void Focus() const;
  void AppendText(std::initializer_list<Text> texts) const;
  void AppendText(const Text& text) const;
  bool IsEnabled() const;
  // A disabled control takes no clicks or typing.
  void SetEnabled(bool enabled) const;
  bool IsShown() const;

 private:
  using Access = Runtime::Access;
  using Target = Runtime::Target;

  int Edge(int Place::*edge) const;
  void SetEdge(int Place::*edge, int value) const;
  Place Client() const;
  // Runs body(runtime, target) on the main thread of the current runtime
  // with this control found for `access` (and of `kind`, when given); answers
  // `fallback` when there is no runtime, it is going away, or the control is
  // not there (which Find reports).
  template <typename R, typename F>
  R With(R fallback, Access access, std::optional<Kind> kind, F&& body) const;
  // The same without an answer.
  template <typename F>
  void Do(Access access, std::optional<Kind> kind, F&& body) const;

  WindowId window_;
  Text name_;
};

// Window operations on the current runtime.
bool LoadWindow(WindowId id, std::uintptr_t owner = 0, bool modal = false);
bool IsWindowOpen(WindowId id);
bool CloseWindow(WindowId id);
std::uintptr_t WindowHandle(WindowId id);
int ClientWidth(WindowId id);
int ClientHeight(WindowId id);
void BindHandler(std::string_view name, Handler handler);
// Convenience forms for handlers without arguments, with the event's first
// argument, or answering an asking event.
void BindHandler(std::string_view name, std::function<void()> handler);
void BindHandler(std::string_view name, std::function<void(int)> handler);
void BindAskingHandler(std::string_view name, std::function<bool()> handler);
int RunMessageLoop();
// Reports a run-time error of the logic (e.g. a field value of the wrong type).
void RaiseRuntimeError(std::string_view message, bool hasCode = false, int code = 0);

}  // namespace quillane::ui
