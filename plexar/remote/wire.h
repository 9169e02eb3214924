// SPDX-License-Identifier: GPL-3.0-or-later
// The whole wire between Tessary and a plug-in host process, on one page.
//
// Commands go over a stream socket as frames: a 4-byte length, then the body. A request body
// is a `RequestHeader` and its arguments; the reply body an HRESULT and its results. The
// caller sends one request at a time and waits for its reply; the host never speaks first.
// Arguments and results are packed by `MessageWriter` in the order listed beside each op.
//
// Audio crosses in one shared-memory region per plug-in instance (a memfd handed over with
// `kAllocate`): a `BlockControl`, then the input channels, then the output channels, each
// `frames` 32-bit floats. One block is one hand-off: the caller writes the inputs, bumps
// `request` and wakes it; the host's audio thread processes and stores the same number in
// `done` and wakes that. Both words are futexes, so neither side makes another system call.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plexar::remote {

inline constexpr uint32_t kProtocolVersion = 1;
/// No frame may be longer: state chunks of large plug-ins fit, a hostile length does not.
inline constexpr uint32_t kMaxFrameBytes = 64u << 20;
/// Caps on what the caller keeps of a host's lists and texts.
inline constexpr uint32_t kMaxListEntries = 65536;
inline constexpr uint32_t kMaxTextBytes = 64u << 10;
inline constexpr int32_t kMaxChannels = 64;
inline constexpr int32_t kMaxFrames = 8192;

enum class Op : uint32_t {
  kHello = 1,        // -> u32 version
  kLoad = 2,         // path -> name, vendor, subcategories, i32 version, 4 x i32 counts, latency
  kSetFormat = 3,    // i32 rate, i32 frames, i32 bits
  kAllocate = 4,     // (memfd attached) i32 inputs, i32 outputs, i32 frames
  kResume = 5,       //
  kSuspend = 6,      //
  kGetParameters = 7,  // -> u32 n, n x (name, shortName, f64 value, f64 value2, i32 id, bytes)
  kSetParameter = 8,   // i32 id, f32 value
  kGetParameter = 9,   // i32 id -> f32 value
  kParameterText = 10,  // i32 id, f32 value -> text
  kGetState = 11,       // i32 index -> bytes
  kSetState = 12,       // i32 index, bytes
  kGetProgram = 13,     // -> i32 program
  kSetProgram = 14,     // i32 program
  kGetPrograms = 15,    // -> u32 n, n x (name, i32 id, path)
  kGetNames = 16,       // i32 type -> u32 n, n x text
  kShowEditor = 17,     // i32 mode
  kCloseEditor = 18,    //
  kUnload = 19,         //
  kSetBypass = 20,      // i32 flag
  kSetSilence = 21,     // i32 flag
  kParameterDisplay = 22,  // i32 id -> text, unit
  kSetParameterText = 23,  // i32 id, text -> why (on failure)
  // Operations of the Faust engine host.
  kCompileFaust = 100,  // code -> (on failure) the compiler's message
  kLoadFaust = 101,     // code -> as kLoad; installs the code and creates an instance of it
  kExpandFaust = 102,   // code -> the code with its libraries written in, or the message
  kLibraryFolder = 103,  // -> folder
};

struct RequestHeader {
  uint32_t op;
  uint32_t instance;  // 0 for the host itself
};

/// The start of every instance's shared region. The two words sit on their own cache lines,
/// since each side writes one and reads the other.
struct BlockControl {
  alignas(64) std::atomic<uint32_t> request;
  alignas(64) std::atomic<uint32_t> done;
  alignas(64) std::atomic<uint32_t> quit;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

inline constexpr size_t kChannelsOffset = 256;
static_assert(sizeof(BlockControl) <= kChannelsOffset);

inline size_t RegionBytes(int32_t inputs, int32_t outputs, int32_t frames) {
  return kChannelsOffset + static_cast<size_t>(inputs + outputs) * static_cast<size_t>(frames) * 4;
}

}  // namespace plexar::remote
