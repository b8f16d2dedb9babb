// The host message channel: messages registered by name on both sides, whose
// payload the receiver reads straight out of the sender's memory (wire format:
// host_wire.h).
//
//   RegisterHostMessage  adds a message name with the handler that serves it.
//   SubclassHostWindow   puts the dispatcher in front of a window's procedure:
//                        registered messages are fetched, acknowledged, stored
//                        and served, then every message is passed on.
//   LastPayload          the payload of the last message of a name received.
//   SendHostMessage      sends a payload to another process's window.
//
// What the dispatcher accepts: a wParam that decodes, a sender the sender check
// (when one is set) accepts, a sender process that can be opened, a descriptor
// that reads and parses, and a payload of at most 1 MiB that reads completely.
// Anything else is ignored: nothing is stored, no handler runs and no
// acknowledgement is written, so the sender's send reports false; the message
// is still passed on to the window's previous procedure.
//
// Every send is bounded in time: a receiver that does not handle a message
// within kHostSendLimitMs is taken for hung, and later sends to it are made
// only after it has answered a probe within kHungProbeMs, so one hung client
// costs the others that limit once.
#pragma once

#include <cstdint>

#include "services/types.h"

namespace quillane {

// A native window handle as a number.
using NativeWindow = std::uintptr_t;

// A routine without arguments that serves a message; it reads the payload
// with LastPayload and the sender with LastSender.
using HostHandler = void (*)();

// Tells whether messages from a process are read at all.
using HostSenderCheck = bool (*)(std::uint64_t processId);

inline constexpr std::uint32_t kHostSendLimitMs = 3000;
inline constexpr std::uint32_t kHungProbeMs = 100;

// False for an empty name, a name already registered, a name the system does
// not register, an id already registered under another name, or a handler that
// already serves another name. Call on the thread that owns the host window,
// before messages arrive.
bool RegisterHostMessage(const Text& name, HostHandler handler);

// Installs the dispatcher on the window (one window per process).
void SubclassHostWindow(NativeWindow window);

// A copy of the last payload received for the name; empty when none has been
// received or the name is not registered.
Bytes LastPayload(const Text& name);

// The id of the process that sent the last message of the name; 0 when none
// has been received.
std::uint64_t LastSender(const Text& name);

// Installs the check that decides whose messages are read (nullptr: all).
void SetHostSenderCheck(HostSenderCheck check);

// Sends the payload under the name to the window of another (or this)
// process, and returns true when the receiver acknowledged it. False, with
// nothing sent, for a window that does not exist, a payload above 1 MiB, a
// process id of 7 or more digits (which the wire cannot carry), or a receiver
// taken for hung that does not answer the probe; false too when the receiver
// runs out of time.
bool SendHostMessage(NativeWindow target, const Text& name, const Bytes& payload);

// The dispatcher itself, for one message of the subclassed window; returns the
// previous window procedure's result. The Windows window procedure calls it;
// tests call it directly.
std::intptr_t DispatchHostMessage(NativeWindow window, std::uint32_t message, std::uint64_t wParam,
                                  std::int64_t lParam);

// Empties the registry (for tests; the program never removes an entry).
void ClearHostRegistry();

}  // namespace quillane
