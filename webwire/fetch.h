// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "webwire/hresult.h"
#include "webwire/rest_client.h"

namespace Webwire {

/// A whole answer.
struct reply {
  HRESULT result = E_FAIL;  // S_OK when the body is complete
  long status = 0;          // HTTP status; 0 when no answer came
  std::string body;
};

/// Sends one request and reads its whole answer. `pathOrUrl` is a path on the server the
/// client is connected to, or a full "http://" or "https://" URL: then the client connects
/// to that URL's host, scheme and port first, so a client used for several requests to the
/// same server keeps its connection. Headers go with every verb, GET included; `body` is
/// sent whole. For example:
///   rest_client client;  client.agent = "REST";
///   reply r = Fetch(client, "POST", "https://github.com/login/device/code",
///                   {"Accept: application/json"}, "client_id=...&scope=...");
///   client.Connect("localhost", false, 11434);  reply tags = Fetch(client, "GET", "/api/tags");
reply Fetch(rest_client& client, std::string_view verb, std::string_view pathOrUrl,
            const std::vector<std::string>& headers = {}, std::string_view body = {});

}  // namespace Webwire
