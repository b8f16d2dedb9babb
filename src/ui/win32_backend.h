// The Win32 backend: real windows and common controls (version 6 through the
// manifest that quillane_ui_program adds), W functions with explicit code page
// 936 conversion, so the windows read right whatever the system's own code
// page is.
#pragma once

#include <memory>

#include "ui/backend.h"

namespace quillane::ui {

// Must be called on the thread that becomes the runtime's main thread.
std::unique_ptr<Backend> CreateWin32Backend();

// The window class of the program's top-level windows and the window
// property that carries a control's index + 1; uidriver looks for both.
inline constexpr wchar_t kWin32WindowClass[] = L"QuillaneWindow";
inline constexpr wchar_t kWin32ControlProp[] = L"Quillane.Control";

}  // namespace quillane::ui
