// Run-time errors: a field or control used in a way it cannot be. The window
// runtime shows them and ends the program; the layers below the windows
// report them through here, so they need not know the windows.
#pragma once

#include <string_view>

namespace quillane {

inline constexpr std::string_view kErrTypeMismatch = "数据或数组类型不匹配";

using RuntimeErrorReporter = void (*)(std::string_view message, bool hasCode, int code);

// Installs the reporter (the window runtime's); nullptr removes it.
void SetRuntimeErrorReporter(RuntimeErrorReporter reporter);

// Reports through the installed reporter; without one nothing happens.
void ReportRuntimeError(std::string_view message, bool hasCode = false, int code = 0);

}  // namespace quillane
