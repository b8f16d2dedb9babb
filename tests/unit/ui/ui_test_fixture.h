// A headless runtime with recording handlers bound to every handler name of
// both window definitions, and run-time errors collected instead of ending
// the test process.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ui/headless.h"
#include "ui/runtime.h"

namespace quillane::ui {

class UiTest : public ::testing::Test {
 protected:
  struct Seen {
    std::string handler;
    Event event;
    std::thread::id thread;
  };

  UiTest() {
    auto backend = std::make_unique<HeadlessBackend>();
    headless = backend.get();
    runtime = std::make_unique<Runtime>(std::move(backend));
    runtime->SetErrorHook([this](const RuntimeError& e) {
      std::lock_guard<std::mutex> lock(m);
      errors.push_back(e);
    });
    std::set<std::string> names;
    for (WindowId w : {WindowId::Main, WindowId::Settings}) {
      const WindowDef& def = GetWindowDef(w);
      for (const auto& b : def.events) names.insert(b.handler);
      for (const auto& c : def.controls)
        for (const auto& b : c.events) names.insert(b.handler);
    }
    for (const auto& n : names) Record(n);
  }

  // Binds `name` to a handler that records the event and answers `answer`.
  void Record(const std::string& name, bool answer = true) {
    runtime->BindHandler(name, [this, name, answer](const Event& e) {
      std::lock_guard<std::mutex> lock(m);
      seen.push_back({name, e, std::this_thread::get_id()});
      return answer;
    });
  }

  std::vector<std::string> Handlers() {
    std::lock_guard<std::mutex> lock(m);
    std::vector<std::string> out;
    for (const auto& s : seen) out.push_back(s.handler);
    return out;
  }
  int Count(const std::string& handler) {
    int n = 0;
    for (const auto& h : Handlers()) n += h == handler;
    return n;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m);
    seen.clear();
    errors.clear();
  }

  HeadlessBackend* headless = nullptr;
  std::unique_ptr<Runtime> runtime;
  std::mutex m;
  std::vector<Seen> seen;
  std::vector<RuntimeError> errors;
};

}  // namespace quillane::ui
