// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/typed_bytes.h"

#include <langinfo.h>

#include <cstring>
#include <string>

#include "common/utf8.h"

namespace platform {

bool LocaleIsUtf8() { return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

int TypedBytes::Replacement() {
  queued_.push_back(0xbf);
  queued_.push_back(0xbd);
  return 0xef;
}

int TypedBytes::Next() {
  if (!queued_.empty()) {
    int byte = queued_.front();
    queued_.pop_front();
    return byte;
  }
  int lead = pending_ ? *pending_ : read_(-1);
  pending_.reset();
  if (!utf8_ || lead < 0x80) return lead;
  size_t length = common::Utf8LengthFromLead(static_cast<unsigned char>(lead));
  if (length < 2) return Replacement();
  std::string sequence(1, char(lead));
  while (sequence.size() < length) {
    int next = read_(kSequenceWaitMs);
    if (next == TypedBytes::kNoByteYet) break;
    if (next < 0x80 || next > 0xbf) {
      pending_ = next;  // a byte of its own (or the end of input), looked at next time
      break;
    }
    sequence += char(next);
  }
  if (sequence.size() < length || common::Utf8SequenceAt(sequence, 0) != length)
    return Replacement();
  for (size_t i = 1; i < sequence.size(); ++i) queued_.push_back(static_cast<unsigned char>(sequence[i]));
  return lead;
}

}  // namespace platform
