// SPDX-License-Identifier: GPL-3.0-or-later
// The engine object of the Faust engine module, as both the module and Tessary see it. Tessary
// calls it by position in the table of virtual operations, so the order here is binding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faust_engine {

/// Size of the text buffers the caller hands to `Compile` and `LibraryFolder`.
inline constexpr size_t kTextBufferSize = 1000;

/// The name a compiled program is installed under when its code declares none.
inline constexpr char kDefaultName[] = "TessaryChat";

class FaustExports {
 public:
  virtual int32_t QueryInterface(const void* iid, void** object) = 0;  // 0
  virtual uint32_t AddRef() = 0;                                         // 1
  virtual uint32_t Release() = 0;                                        // 2
  /// Grows whenever an operation is added at the end.
  virtual int32_t InterfaceVersion() = 0;                                // 3
  /// The Faust compiler's version, zero-terminated.
  virtual void CompilerVersion(char* buffer, size_t size) = 0;           // 4
  /// The machine the compiled code is made for, zero-terminated.
  virtual void Target(char* buffer, size_t size) = 0;                    // 5
  /// True when the code compiles; otherwise `error` (kTextBufferSize bytes) holds the message.
  virtual bool Compile(const char* code, size_t length, char* error) = 0;  // 6
  /// Makes the code the program of plug-in instances created from now on.
  virtual void Install(const char* code, size_t length, const char* name) = 0;  // 7
  /// The code with every library it imports written in, so that it compiles on its own.
  /// Writes at most `*size` bytes to `out` and sets `*size` to the length needed; false when
  /// the code does not compile or `out` was too small.
  virtual bool ExpandCode(const char* code, size_t length, char* out, size_t* size) = 0;  // 8
  /// The folder whose `libs` subfolder holds the Faust libraries; `create` makes that
  /// subfolder when it is missing.
  virtual void LibraryFolder(char* buffer, size_t size, bool create) = 0;  // 9

 protected:
  ~FaustExports() = default;
};

using CreateFaustExportsProc = void (*)(FaustExports** object);

}  // namespace faust_engine
