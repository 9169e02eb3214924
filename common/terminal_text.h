// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace common {

/// Text from a peer (a model's answer, a model name, a code from a server) made safe to print:
/// it can no longer drive the terminal. Control characters show as placeholders instead of
/// acting: C0 as "^@".."^_" (ESC as "^["), DEL as "^?", C1 (U+0080..U+009F, which some
/// terminals read as ESC [ and ESC ]) as "<U+009B>" and the like. Line feed and tab stay; a
/// carriage return stays only before a line feed, so text cannot be overwritten in place.
/// Bytes that are not UTF-8 become U+FFFD. Our own colour codes go around the result.
std::string TerminalSafe(std::string_view text);

/// The same for a value that must stay on one line (a model name, a code): line feeds, carriage
/// returns and tabs show as placeholders too.
std::string TerminalSafeLine(std::string_view text);

/// The same for text that arrives in pieces (streamed answers): a UTF-8 sequence or a
/// "\r\n" split between two pieces is held back until it is whole, so the output is exactly
/// TerminalSafe of all pieces together.
class TerminalSafeStream {
 public:
  std::string Feed(std::string_view piece);
  /// Whatever was held back, made safe; the stream starts afresh.
  std::string Finish();

 private:
  std::string pending_;
};

}  // namespace common
