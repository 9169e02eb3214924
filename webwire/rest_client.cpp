// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/rest_client.h"

#include <array>

#include "common/text.h"
#include "webwire/transfer.h"
#include "webwire/url.h"

namespace Webwire {

using detail::connection_object;
using detail::request_object;
using detail::request_setup;
using detail::session_object;

namespace {

// Largest piece of an answer handed to the writer at once.
constexpr std::size_t kReadPiece = 10000;

std::uint16_t EffectivePort(bool secure, std::uint16_t port) {
  return port != 0 ? port : (secure ? 443 : 80);
}

}  // namespace

void rest_client::Close() {
  connection.reset();
  session.reset();
}

bool rest_client::OpenSession() {
  if (!session) {
    if (auto created = session_object::Create()) session = handle(std::move(created));
  }
  return static_cast<bool>(session);
}

HRESULT rest_client::Connect(std::string_view serverName, bool useTls, std::uint16_t portNumber) {
  if (!common::EqualsIgnoringCase(serverName, server)) {
    Close();
  } else if (useTls != secure || EffectivePort(useTls, portNumber) != EffectivePort(secure, port)) {
    // Same name, other port or scheme: a different server after all.
    connection.reset();
  }
  server = std::string(serverName);
  secure = useTls;
  port = portNumber;
  if (!OpenSession()) return E_UNEXPECTED;
  if (!connection) {
    auto origin = MakeOrigin(server, secure, port);
    if (!origin) return E_INVALIDARG;
    connection = handle(std::make_shared<connection_object>(session.shared_as<session_object>(),
                                                            std::move(*origin)));
  }
  return S_OK;
}

HRESULT rest_client::OpenRequest(handle& result, std::string_view pathOrUrl, data_provider& body,
                                 std::string_view verb, const std::vector<std::string>& headers,
                                 const progress_callback& progress) {
  result.reset();
  if (pathOrUrl.empty() || !IsValidVerb(verb)) return E_INVALIDARG;

  request_setup setup;
  setup.verb = std::string(verb);
  setup.agent = agent;
  setup.timeout = defaultTimeout;
  setup.cancelled = cancelled;
  std::string target(pathOrUrl);
  if (IsFullUrl(pathOrUrl)) {
    Close();
    if (!OpenSession()) return E_UNEXPECTED;
    if (common::EqualsIgnoringCase(verb, "GET")) {
      // Fetched as it stands: no connection, headers or body.
      setup.url = target;
      auto request = request_object::Create(session.shared_as<session_object>());
      if (!request) return E_OUTOFMEMORY;
      const HRESULT sent = request->Send(setup);
      if (Succeeded(sent)) result = handle(std::move(request));
      return sent;
    }
    auto parts = ParseUrl(pathOrUrl);
    if (!parts) return E_INTERNET_INVALID_URL;
    if (const HRESULT connected = Connect(parts->host, parts->secure, parts->port);
        Failed(connected)) {
      return connected;
    }
    target = parts->target;
  }

  auto* bound = connection.as<connection_object>();
  if (bound == nullptr) return E_UNEXPECTED;
  if (!target.starts_with('/')) target.insert(target.begin(), '/');
  setup.url = bound->origin() + target;
  setup.headerLines = HeaderLines(headers);
  setup.body = &body;
  setup.progress = &progress;
  const bool inOnePiece = body.whole() || body.size() == 0;
  if (inOnePiece && wholeBodyTimeout) setup.timeout = *wholeBodyTimeout;

  auto request = request_object::Create(bound->session());
  if (!request) return E_OUTOFMEMORY;
  const HRESULT sent = request->Send(setup);
  if (Failed(sent)) return sent;
  if (inOnePiece && progress) {
    const std::uint64_t size = body.size();
    progress(size, static_cast<std::int64_t>(size), 0);
  }
  result = handle(std::move(request));
  return S_OK;
}

HRESULT rest_client::Post(handle& result, std::string_view path,
                          const std::vector<std::string>& headers, std::string_view data,
                          const progress_callback& progress) {
  memory_data_provider body(data);
  return OpenRequest(result, path, body, "POST", headers, progress);
}

HRESULT rest_client::ReadResponse(const handle& request, data_writer& writer,
                                  const progress_callback& progress) {
  auto* transfer = request.as<request_object>();
  if (transfer == nullptr) return E_FAIL;
  const std::int64_t total = transfer->ContentLength();
  std::array<std::uint8_t, kReadPiece> piece;
  std::uint64_t done = 0;
  for (;;) {
    std::size_t got = 0;
    if (!transfer->Read(piece.data(), piece.size(), got)) return E_FAIL;
    if (got == 0) return S_OK;
    if (writer.write(piece.data(), static_cast<unsigned>(got)) != static_cast<int>(got)) {
      return E_FAIL;
    }
    done += got;
    if (progress && progress(done, total, 0) < 0) return E_ABORT;
  }
}

long StatusCode(const handle& request) {
  auto* transfer = request.as<request_object>();
  return transfer != nullptr ? transfer->Status() : 0;
}

}  // namespace Webwire
