// The in-process stand-in for the system's windows, message ids and process
// memory, so the channel's logic runs natively in tests. It simulates any
// number of processes: each has memory regions (backed by buffers the test
// owns, or exchange blocks of the own process) and windows whose procedures
// are plain functions. Sending calls the target's procedure directly, like a
// send to another thread that handles it at once.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "channel/host_transport.h"

namespace quillane {

class LocalHostTransport : public HostTransport {
 public:
  using Procedure =
      std::function<std::intptr_t(NativeWindow, std::uint32_t, std::uint64_t, std::int64_t)>;

  explicit LocalHostTransport(std::uint64_t ownProcessId = 4312);
  ~LocalHostTransport() override;

  // Simulated processes and their memory. OpenProcess succeeds for the own
  // process and for every process added here.
  void AddProcess(std::uint64_t processId);
  void RemoveProcess(std::uint64_t processId);
  // Maps `bytes` at `address` of the process; the vector must outlive the
  // mapping and keep its size. Read-only regions refuse writes.
  void MapMemory(std::uint64_t processId, std::uint64_t address, std::vector<std::uint8_t>* bytes,
                 bool writable = true);
  void UnmapMemory(std::uint64_t processId, std::uint64_t address);

  NativeWindow CreateWindow(std::uint64_t processId, Procedure procedure);
  void DestroyWindow(NativeWindow window);

  // A hung window handles nothing: every send to it runs out of time.
  void SetHung(NativeWindow window, bool hung);
  // Delivers a message at once, as a raw cross-process send does.
  std::intptr_t Send(NativeWindow target, std::uint32_t message, std::uint64_t wParam,
                     std::int64_t lParam);

  // Counters for tests.
  int processOpens() const { return opens_; }
  // The time limits of the sends that ran out of time, in order.
  std::vector<std::uint32_t> timedOutLimits();
  int memoryReads() const { return reads_; }
  std::size_t liveExchangeBlocks();

  // HostTransport
  std::uint32_t RegisterMessage(const Text& name) override;
  std::uint64_t CurrentProcessId() override { return ownProcessId_; }
  bool IsWindow(NativeWindow window) override;
  bool SendWithin(NativeWindow target, std::uint32_t message, std::uint64_t wParam,
                  std::int64_t lParam, std::uint32_t milliseconds) override;
  std::shared_ptr<ProcessMemory> OpenProcess(std::uint64_t processId) override;
  ExchangeBlock AllocateExchange(std::size_t size) override;
  void FreeExchange(const ExchangeBlock& block) override;
  bool Subclass(NativeWindow window) override;
  std::intptr_t CallPrevious(NativeWindow window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) override;

 private:
  class Memory;
  struct Region {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool writable = true;
  };
  struct Window {
    std::uint64_t processId = 0;
    Procedure procedure;
    Procedure previous;
    bool hung = false;
  };
  // Runs the window's procedure (or the one before the dispatcher) outside the lock.
  std::intptr_t Call(NativeWindow window, Procedure Window::*which, std::uint32_t message,
                     std::uint64_t wParam, std::int64_t lParam);
  bool Access(std::uint64_t processId, std::uint64_t address, void* buffer, const void* data,
              std::size_t size);

  std::mutex mutex_;
  std::uint64_t ownProcessId_;
  std::set<std::uint64_t> processes_;
  std::map<std::uint64_t, std::map<std::uint64_t, Region>> memory_;    // by process, by address
  std::map<std::uint64_t, std::unique_ptr<std::uint8_t[]>> exchange_;  // own blocks by address
  std::uint64_t nextExchange_ = 0x00400000;
  std::map<Text, std::uint32_t> ids_;
  std::map<NativeWindow, Window> windows_;
  NativeWindow nextWindow_ = 0x10010;
  int opens_ = 0;
  int reads_ = 0;
  std::vector<std::uint32_t> timeouts_;
};

}  // namespace quillane
