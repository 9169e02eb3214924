// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/fetch.h"

#include "webwire/url.h"

namespace Webwire {

reply Fetch(rest_client& client, std::string_view verb, std::string_view pathOrUrl,
            const std::vector<std::string>& headers, std::string_view body) {
  reply answer;
  std::string target(pathOrUrl);
  if (IsFullUrl(pathOrUrl)) {
    // Connecting here rather than handing OpenRequest the URL keeps the session, the port
    // written in the URL and the headers of a GET.
    auto parts = ParseUrl(pathOrUrl);
    if (!parts) {
      answer.result = E_INTERNET_INVALID_URL;
      return answer;
    }
    answer.result = client.Connect(parts->host, parts->secure, parts->port);
    if (Failed(answer.result)) return answer;
    target = parts->target;
  }
  memory_data_provider provider(body);
  handle request;
  answer.result = client.OpenRequest(request, target, provider, verb, headers);
  if (Failed(answer.result)) return answer;
  memory_data_writer writer;
  answer.result = client.ReadResponse(request, writer);
  answer.status = StatusCode(request);
  answer.body = writer.text();
  return answer;
}

}  // namespace Webwire
