// What a window backend does for the runtime. The runtime keeps the state and
// decides every rule (which page becomes current, which event is raised); a
// backend shows that state and reports user input back through the runtime's
// User* entry points. Every call happens on the main thread.
#pragma once

#include <cstdint>

#include "ui/model.h"

namespace quillane::ui {

class Runtime;

// What changed on a control. The arguments name the page, row, column or
// button concerned where that matters.
enum class Change {
  Place,
  Text,          // edit box text, group box or label caption
  ComboIndex,    // currentIndex of a combo box
  PageInserted,  // a: page index
  PageDeleted,   // a: page index as it was, b: its tab position before removal (-1: hidden)
  PagesCleared,  // every page removed
  PageCaption,   // a: page index
  CurrentPage,   // shows the current page's controls and hides the others
  Parts,         // status bar widths or texts
  ButtonState,   // a: button index
  RowInserted,   // a: row index
  RowDeleted,    // a: row index
  Cell,          // a: row, b: column
  Selection,     // selectedRow / focusedRow of a report list
  Enabled,       // the control was enabled or disabled
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Called once by the runtime's constructor.
  virtual void Attach(Runtime& runtime) { runtime_ = &runtime; }

  // Screen size, for centring windows.
  virtual Place Screen() = 0;
  // Creates the window and its controls from the state (step 2 and 3 of the
  // build); nothing is shown yet. False if the window cannot be made.
  virtual bool Create(WindowState& win) = 0;
  virtual void Show(WindowState& win) = 0;          // show and activate
  virtual void BringToFront(WindowState& win) = 0;  // restore when minimized, else activate
  virtual void Destroy(WindowState& win) = 0;
  virtual void Update(WindowState& win, ControlState& ctl, Change change, int a = 0, int b = 0) = 0;
  // Live place of a control (nullptr: the window's outer place).
  virtual Place QueryPlace(WindowState& win, ControlState* ctl) = 0;
  // Client area size of a control or (nullptr) the window.
  virtual Place QueryClient(WindowState& win, ControlState* ctl) = 0;
  virtual std::uintptr_t Handle(WindowState& win, ControlState* ctl) = 0;
  virtual void Focus(WindowState& win, ControlState& ctl) = 0;
  // The text an edit box shows now, when the backend can tell (some changes,
  // such as a text set from outside into a multi-line edit, report nothing).
  virtual bool QueryText(WindowState& /*win*/, ControlState& /*ctl*/, Text* /*text*/) {
    return false;
  }
  // Inserts text at the end of an edit box (the state already holds the result).
  virtual void AppendText(WindowState& win, ControlState& ctl, const Text& text) = 0;

  // A worker thread queued a call: the main thread should run
  // Runtime::RunPendingCalls soon. Called from any thread.
  virtual void Wake() = 0;
  // Runs the main thread's message loop until QuitLoop.
  virtual int RunLoop() = 0;
  virtual void QuitLoop() = 0;

 protected:
  Runtime* runtime_ = nullptr;
};

}  // namespace quillane::ui
