// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/framing.h"

namespace {

constexpr std::string_view kHeader = "Content-Length: ";
constexpr std::string_view kBlankLine = "\r\n\r\n";

// Reads the length the way a decimal string-to-int conversion does (leading blanks, digits,
// stop at anything else) but refuses what cannot be a length.
bool ReadLength(std::string_view text, long long& length) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  size_t digits = i;
  length = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    length = length * 10 + (text[i] - '0');
    if (length > kMaxFrameBody) return false;
  }
  return i > digits;
}

}  // namespace

std::string MakeFrame(std::string_view body) {
  std::string frame(kHeader);
  frame += std::to_string(body.size());
  frame += kBlankLine;
  frame += body;
  return frame;
}

bool ExtractFrames(std::string& buffer, std::vector<std::string>& bodies) {
  size_t consumed = 0;
  for (;;) {
    size_t header = buffer.find(kHeader, consumed);
    if (header == std::string::npos) break;
    size_t blank = buffer.find(kBlankLine, header + kHeader.size());
    if (blank == std::string::npos) break;
    long long length = 0;
    size_t numberAt = header + kHeader.size();
    if (!ReadLength(std::string_view(buffer).substr(numberAt, blank - numberAt), length))
      return false;
    size_t bodyAt = blank + kBlankLine.size();
    if (buffer.size() - bodyAt < size_t(length)) break;
    bodies.emplace_back(buffer, bodyAt, size_t(length));
    consumed = bodyAt + size_t(length);
  }
  buffer.erase(0, consumed);
  return true;
}
