// SPDX-License-Identifier: GPL-3.0-or-later
// The updater's three requests to its server, over the project's REST client.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "molt/bytes.h"
#include "webwire/hresult.h"
#include "webwire/rest_client.h"

namespace Molt {

using Webwire::HRESULT;

/// An update endpoint taken apart; nothing for a URL the client cannot use.
struct UpdateEndpoint {
  bool secure = true;
  std::string host;
  std::uint16_t port = 0;
  std::string path;  // without query
};
std::optional<UpdateEndpoint> ParseEndpoint(std::string_view url);

/// Bytes received so far and the expected total (-1 when unknown).
using TransferProgress = std::function<void(std::uint64_t done, std::int64_t total)>;

struct UpdateCall {
  std::string_view word;                    // "hashes", "sigs" or "patch"
  std::string_view body;                    // sent as it stands; empty for none
  std::uint64_t limit = 0;                  // the longest answer taken
  std::chrono::milliseconds timeout{2000};  // connecting, and any pause in the answer
  /// The whole request, however the answer trickles in; none: no bound but `timeout`.
  std::optional<std::chrono::milliseconds> deadline;
  TransferProgress progress;
};

/// Sends one request to `endpoint` + "?k=" + `productId` + "&f=" + word and reads the
/// whole answer into `answer`. A body goes with POST (HTTP stacks drop the body of a GET),
/// anything else with GET. S_OK; the client's failure; E_FAIL for an answer whose status is
/// not 200 or that is longer than the limit.
HRESULT SendUpdateRequest(Webwire::rest_client& client, const UpdateEndpoint& endpoint,
                          std::string_view productId, const UpdateCall& call, Bytes& answer);

/// The same, the answer written to an open file from where it stands (an answer too large
/// to hold); `written` is how much went there.
HRESULT SendUpdateRequest(Webwire::rest_client& client, const UpdateEndpoint& endpoint,
                          std::string_view productId, const UpdateCall& call, int fd,
                          std::uint64_t& written);

}  // namespace Molt
