// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/url.h"

#include <curl/curl.h>

#include <memory>

#include "common/text.h"
#include "webwire/curl_library.h"

namespace Webwire {
namespace {

using detail::Curl;

struct url_deleter {
  void operator()(CURLU* url) const { Curl()->url_cleanup(url); }
};
struct text_deleter {
  void operator()(char* text) const { Curl()->free(text); }
};

std::optional<std::string> Part(CURLU* url, CURLUPart part, unsigned flags) {
  char* raw = nullptr;
  if (Curl()->url_get(url, part, &raw, flags) != CURLUE_OK) return std::nullopt;
  std::unique_ptr<char, text_deleter> owned(raw);
  return std::string(raw);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         common::EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string_view HeaderName(std::string_view line) {
  std::string_view name = line.substr(0, line.find(':'));
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

}  // namespace

bool IsFullUrl(std::string_view text) {
  return StartsWithIgnoringCase(text, "http://") || StartsWithIgnoringCase(text, "https://");
}

std::optional<url_parts> ParseUrl(std::string_view url) {
  if (!IsFullUrl(url) || Curl() == nullptr) return std::nullopt;
  std::unique_ptr<CURLU, url_deleter> parsed(Curl()->url());
  if (!parsed) return std::nullopt;
  const std::string text(url);
  if (Curl()->url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  auto scheme = Part(parsed.get(), CURLUPART_SCHEME, 0);
  auto host = Part(parsed.get(), CURLUPART_HOST, 0);
  auto port = Part(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  auto path = Part(parsed.get(), CURLUPART_PATH, 0);
  auto query = Part(parsed.get(), CURLUPART_QUERY, 0);  // absent when there is none
  if (!scheme || !host || host->empty() || !port || !path) return std::nullopt;

  url_parts parts;
  parts.secure = common::EqualsIgnoringCase(*scheme, "https");
  // IPv6 literals come back in brackets; the server name is kept without them.
  parts.host = *host;
  if (parts.host.size() > 2 && parts.host.front() == '[' && parts.host.back() == ']') {
    parts.host = parts.host.substr(1, parts.host.size() - 2);
  }
  const int number = common::ReadNumber(*port);
  if (number <= 0 || number > 65535) return std::nullopt;
  parts.port = static_cast<std::uint16_t>(number);
  parts.target = path->empty() ? "/" : *path;
  if (query) parts.target += "?" + *query;
  return parts;
}

std::optional<std::string> MakeOrigin(std::string_view server, bool secure, std::uint16_t port) {
  if (server.empty()) return std::nullopt;
  for (unsigned char c : server) {
    if (c <= ' ' || c == 0x7F || c == '/' || c == '\\' || c == '@' || c == '?' || c == '#' ||
        c == '[' || c == ']') {
      return std::nullopt;
    }
  }
  const bool ipv6 = server.find(':') != std::string_view::npos;
  // Appended piece by piece: GCC 12 warns falsely about "literal" + std::string at -O3.
  std::string origin = secure ? "https://" : "http://";
  if (ipv6) origin += '[';
  origin.append(server);
  if (ipv6) origin += ']';
  origin += ':';
  origin += std::to_string(port != 0 ? port : (secure ? 443 : 80));
  return origin;
}

bool IsValidVerb(std::string_view verb) {
  static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  if (verb.empty()) return false;
  for (unsigned char c : verb) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum && kSymbols.find(static_cast<char>(c)) == std::string_view::npos) return false;
  }
  return true;
}

std::vector<std::string> HeaderLines(const std::vector<std::string>& headers) {
  std::vector<std::string> lines;
  auto add = [&lines](std::string_view line) {
    if (line.empty() || line.find(':') == std::string_view::npos) return;
    const std::string_view name = HeaderName(line);
    if (name.empty()) return;
    std::erase_if(lines, [name](const std::string& old) {
      return common::EqualsIgnoringCase(HeaderName(old), name);
    });
    lines.emplace_back(line);
  };
  for (std::string_view text : headers) {
    std::size_t start = 0;
    while (start <= text.size()) {
      const std::size_t end = text.find_first_of("\r\n", start);
      add(text.substr(start, end == std::string_view::npos ? end : end - start));
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  }
  return lines;
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (common::EqualsIgnoringCase(HeaderName(line), name)) return true;
  }
  return false;
}

}  // namespace Webwire
