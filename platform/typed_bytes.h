// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <optional>

namespace platform {

/// Hands typed bytes to the line editor one at a time, whole UTF-8 sequences only. Readline
/// holds the start of a sequence and silently drops it when the sequence breaks off, so a
/// byte that begins no well-formed sequence is handed on as U+FFFD instead.
class TypedBytes {
 public:
  /// What `read` returns when no byte came within the time it was given.
  static constexpr int kNoByteYet = -2;
  /// Reads one byte: waits for ever when `waitMs` is negative, else at most that long. A byte,
  /// a negative value at the end of input, or kNoByteYet.
  using Reader = std::function<int(int waitMs)>;

  /// `utf8` false: bytes pass as they are (a locale of single-byte characters).
  TypedBytes(Reader read, bool utf8) : read_(std::move(read)), utf8_(utf8) {}

  int Next();
  /// True while bytes already read wait to be handed on.
  bool HasQueued() const { return !queued_.empty() || pending_.has_value(); }

  /// How long the rest of a sequence may take to arrive after its first byte.
  static constexpr int kSequenceWaitMs = 100;

 private:
  int Replacement();

  Reader read_;
  bool utf8_;
  std::deque<int> queued_;      // handed on as they are
  std::optional<int> pending_;  // read past a broken sequence, still to be looked at
};

/// True when the current locale's characters are UTF-8.
bool LocaleIsUtf8();

}  // namespace platform
