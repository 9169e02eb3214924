// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace common {

/// JSON text from a peer made acceptable to the parser. Bytes that are not UTF-8 become U+FFFD.
/// An escaped surrogate without its partner ("\ud83d" alone, which a UTF-16 peer sends when it
/// splits a pair between two messages) becomes a stand-in code point from the top of plane 16,
/// so that streamed pieces can join the halves again; real characters from that small range
/// become U+FFFD so that a stand-in is never ambiguous. `standIns` tells whether any was made.
std::string RepairJsonText(std::string_view text, bool& standIns);

/// Text parsed from RepairJsonText's output, final: stand-ins become U+FFFD.
std::string SettleStandIns(std::string_view text);

/// The same for text that arrives in pieces: a stand-in for a leading half at the end of one
/// piece is held back and joined with a stand-in for a trailing half that starts the next.
class SurrogateJoiner {
 public:
  std::string Feed(std::string_view piece);
  /// Whatever half was held back, as U+FFFD; the joiner starts afresh.
  std::string Finish();

 private:
  char16_t held_ = 0;
};

}  // namespace common
