#include "services/runtime_error.h"

#include <atomic>

namespace quillane {

namespace {
std::atomic<RuntimeErrorReporter> gReporter{nullptr};
}  // namespace

void SetRuntimeErrorReporter(RuntimeErrorReporter reporter) { gReporter = reporter; }

void ReportRuntimeError(std::string_view message, bool hasCode, int code) {
  if (const RuntimeErrorReporter reporter = gReporter) reporter(message, hasCode, code);
}

}  // namespace quillane
