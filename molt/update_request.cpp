// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/update_request.h"

#include "webwire/url.h"

namespace Molt {
namespace {

// Collects the answer, refusing bytes beyond the limit so a broken or hostile server cannot
// fill the memory.
class LimitedWriter : public Webwire::data_writer {
 public:
  LimitedWriter(Bytes& bytes, std::uint64_t limit) : bytes_(bytes), limit_(limit) {}
  int write(const std::uint8_t* data, unsigned count) override {
    if (bytes_.size() + count > limit_) return -1;
    bytes_.insert(bytes_.end(), data, data + count);
    return static_cast<int>(count);
  }
  std::uint64_t size() override { return bytes_.size(); }

 private:
  Bytes& bytes_;
  std::uint64_t limit_;
};

}  // namespace

std::optional<UpdateEndpoint> ParseEndpoint(std::string_view url) {
  auto parts = Webwire::ParseUrl(url);
  if (!parts) return std::nullopt;
  UpdateEndpoint endpoint;
  endpoint.secure = parts->secure;
  endpoint.host = parts->host;
  endpoint.port = parts->port;
  endpoint.path = parts->target.substr(0, parts->target.find_first_of("?#"));
  return endpoint;
}

HRESULT SendUpdateRequest(Webwire::rest_client& client, const UpdateEndpoint& endpoint,
                          std::string_view productId, const UpdateCall& call, Bytes& answer) {
  answer.clear();
  client.agent = "REST";
  client.wholeBodyTimeout = call.timeout;
  client.defaultTimeout = call.timeout;
  HRESULT result = client.Connect(endpoint.host, endpoint.secure, endpoint.port);
  if (Webwire::Failed(result)) return result;
  const std::string target =
      endpoint.path + "?k=" + std::string(productId) + "&f=" + std::string(call.word);
  Webwire::memory_data_provider body(call.body);
  Webwire::handle request;
  result = client.OpenRequest(request, target, body, call.body.empty() ? "GET" : "POST");
  if (Webwire::Failed(result)) return result;
  if (Webwire::StatusCode(request) != 200) return Webwire::E_FAIL;
  LimitedWriter writer(answer, call.limit);
  Webwire::progress_callback progress;
  if (call.progress) {
    progress = [&call](std::uint64_t done, std::int64_t total, std::int64_t) {
      call.progress(done, total);
      return 0;
    };
  }
  result = client.ReadResponse(request, writer, progress);
  if (Webwire::Failed(result)) answer.clear();
  return result;
}

}  // namespace Molt
