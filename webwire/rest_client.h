// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "webwire/data_provider.h"
#include "webwire/data_writer.h"
#include "webwire/handle.h"
#include "webwire/hresult.h"
#include "webwire/progress.h"

namespace Webwire {

/// Time-out of requests whose body is sent whole from memory: connecting, and the longest
/// pause in traffic either way.
inline constexpr std::chrono::milliseconds kWholeBodyTimeout{600000};
/// Time-out of every other request, so that no request can wait for ever.
inline constexpr std::chrono::milliseconds kDefaultTimeout{60000};

/// A small synchronous HTTP client: one session, one connection to one server. Use: set
/// `agent`, Connect, OpenRequest or Post, ReadResponse, drop the request handle; repeat for
/// further requests to the same server. Used by one thread at a time; calls block.
/// HTTP statuses are not failures: an error page is delivered like any other body.
class rest_client {
 public:
  /// User agent sent with every request.
  std::string agent;
  handle session;
  handle connection;
  /// Server name, security and port of the last Connect.
  std::string server;
  bool secure = false;
  std::uint16_t port = 0;
  /// Time-out of requests with a whole (memory) body; nullopt gives them kDefaultTimeout too.
  std::optional<std::chrono::milliseconds> wholeBodyTimeout = kWholeBodyTimeout;
  std::chrono::milliseconds defaultTimeout = kDefaultTimeout;
  /// Asked at least every 50 ms while a request waits; true gives the request up with
  /// E_ABORT. Empty: never. Lets another thread end a wait on a server that says nothing.
  std::function<bool()> cancelled;

  /// Binds the client to `server` (port 0: 443 when `secure`, else 80). The connection is
  /// kept when the name matches in any letter case and security and port are unchanged; a
  /// new name also starts a new session. S_OK, E_INVALIDARG for a name that is no host
  /// name, E_UNEXPECTED when no session could be made. Nothing goes over the network yet.
  HRESULT Connect(std::string_view server, bool secure, std::uint16_t port = 0);

  /// Sends a request and its body and waits for the head of the answer; the body of the
  /// answer is left for ReadResponse. `pathOrUrl` is a path on the connected server, or a
  /// full "http://" or "https://" URL: that starts a new session and connects to the URL's
  /// host and port, except that a GET to a full URL is sent as it stands, without `headers`,
  /// `body` or the whole-body time-out. Header lines are added one by one; a later one
  /// replaces an earlier one of the same name. A body that is whole() or empty goes in one
  /// piece; any other is streamed in pieces of 4,096 bytes with `progress` after each (a
  /// negative result abandons the request). `result` holds the request, or is empty on
  /// failure; the result code says why (S_OK, E_INVALIDARG, E_UNEXPECTED without a
  /// connection, E_ABORT, E_INTERNET_* network failures, E_FAIL).
  HRESULT OpenRequest(handle& result, std::string_view pathOrUrl, data_provider& body,
                      std::string_view verb, const std::vector<std::string>& headers = {},
                      const progress_callback& progress = {});

  /// OpenRequest with the verb "POST" and `data` as the body.
  HRESULT Post(handle& result, std::string_view path, const std::vector<std::string>& headers,
               std::string_view data, const progress_callback& progress = {});

  /// Streams the answer's body into `writer` in pieces of at most 10,000 bytes, calling
  /// `progress` after each with the bytes so far and the Content-Length (-1 when there is
  /// none). S_OK at the end of the body; E_FAIL when reading fails, the request is empty or
  /// the writer takes fewer bytes than offered; E_ABORT when `progress` returns a negative.
  HRESULT ReadResponse(const handle& request, data_writer& writer,
                       const progress_callback& progress = {});

 private:
  void Close();
  bool OpenSession();
};

/// The HTTP status of a request's answer; 0 for an empty handle.
long StatusCode(const handle& request);

}  // namespace Webwire
