// SPDX-License-Identifier: GPL-3.0-or-later
#include "ollama/http_reply.h"

#include <cstdint>
#include <optional>

#include "common/text.h"

namespace {

constexpr size_t kMaxBody = 64u << 20;

enum class Outcome { Complete, NeedMore, Broken };

// The value of header `name` (any letter case) in the head, if present.
std::optional<std::string> Header(const std::string& head, const std::string& name) {
  std::string lower = common::ToLowerAscii(head);
  std::string key = "\r\n" + common::ToLowerAscii(name) + ":";
  size_t at = lower.find(key);
  if (at == std::string::npos) return std::nullopt;
  size_t start = at + key.size();
  size_t end = head.find("\r\n", start);
  std::string value = head.substr(start, end - start);
  size_t first = value.find_first_not_of(" \t");
  size_t last = value.find_last_not_of(" \t");
  return first == std::string::npos ? "" : value.substr(first, last - first + 1);
}

bool ReadNumber(const std::string& text, int base, size_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9' ? c - '0'
                : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
    if (digit < 0) return false;
    value = value * size_t(base) + size_t(digit);
    if (value > kMaxBody) return false;
  }
  return true;
}

Outcome ReadChunks(const std::string& buffer, size_t at, std::string& body, size_t& end) {
  for (;;) {
    size_t lineEnd = buffer.find("\r\n", at);
    if (lineEnd == std::string::npos) return Outcome::NeedMore;
    std::string sizeText = buffer.substr(at, lineEnd - at);
    sizeText = sizeText.substr(0, sizeText.find(';'));  // chunk extensions
    size_t size = 0;
    if (!ReadNumber(sizeText, 16, size) || body.size() + size > kMaxBody) return Outcome::Broken;
    size_t data = lineEnd + 2;
    if (size == 0) {
      size_t trailerEnd = buffer.find("\r\n", data);
      if (trailerEnd == std::string::npos) return Outcome::NeedMore;
      end = trailerEnd + 2;
      return Outcome::Complete;
    }
    if (buffer.size() < data + size + 2) return Outcome::NeedMore;
    body.append(buffer, data, size);
    at = data + size + 2;
  }
}

Outcome ReadReply(const std::string& buffer, std::string& body, size_t& end) {
  size_t headEnd = buffer.find("\r\n\r\n");
  if (headEnd == std::string::npos) return buffer.size() > kMaxBody ? Outcome::Broken : Outcome::NeedMore;
  std::string head = buffer.substr(0, headEnd + 2);
  size_t bodyAt = headEnd + 4;
  if (std::optional<std::string> length = Header(head, "Content-Length")) {
    size_t size = 0;
    if (!ReadNumber(*length, 10, size)) return Outcome::Broken;
    if (buffer.size() < bodyAt + size) return Outcome::NeedMore;
    body = buffer.substr(bodyAt, size);
    end = bodyAt + size;
    return Outcome::Complete;
  }
  std::optional<std::string> encoding = Header(head, "Transfer-Encoding");
  if (encoding && common::ToLowerAscii(*encoding) == "chunked")
    return ReadChunks(buffer, bodyAt, body, end);
  return Outcome::Broken;
}

}  // namespace

bool ExtractReplies(std::string& buffer, std::vector<std::string>& bodies) {
  for (;;) {
    std::string body;
    size_t end = 0;
    switch (ReadReply(buffer, body, end)) {
      case Outcome::Broken:
        return false;
      case Outcome::NeedMore:
        return true;
      case Outcome::Complete:
        bodies.push_back(std::move(body));
        buffer.erase(0, end);
        break;
    }
  }
}
