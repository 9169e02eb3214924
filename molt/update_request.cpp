// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/update_request.h"

#include <unistd.h>

#include <cerrno>

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

// The same for an answer that goes to a file.
class LimitedFileWriter : public Webwire::data_writer {
 public:
  LimitedFileWriter(int fd, std::uint64_t limit) : fd_(fd), limit_(limit) {}
  int write(const std::uint8_t* data, unsigned count) override {
    if (written_ + count > limit_) return -1;
    for (unsigned done = 0; done < count;) {
      const ssize_t n = ::write(fd_, data + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return -1;
      done += static_cast<unsigned>(n);
    }
    written_ += count;
    return static_cast<int>(count);
  }
  std::uint64_t size() override { return written_; }

 private:
  int fd_;
  std::uint64_t limit_;
  std::uint64_t written_ = 0;
};

// Gives the client an overall deadline for one request and takes it back after.
class DeadlineScope {
 public:
  DeadlineScope(Webwire::rest_client& client, std::optional<std::chrono::milliseconds> deadline)
      : client_(client), saved_(client.cancelled) {
    if (!deadline) return;
    const auto end = std::chrono::steady_clock::now() + *deadline;
    client.cancelled = [end, outer = saved_] {
      return std::chrono::steady_clock::now() >= end || (outer && outer());
    };
  }
  ~DeadlineScope() { client_.cancelled = saved_; }
  DeadlineScope(const DeadlineScope&) = delete;
  DeadlineScope& operator=(const DeadlineScope&) = delete;

 private:
  Webwire::rest_client& client_;
  std::function<bool()> saved_;
};

HRESULT SendTo(Webwire::rest_client& client, const UpdateEndpoint& endpoint,
               std::string_view productId, const UpdateCall& call, Webwire::data_writer& writer) {
  client.agent = "REST";
  client.wholeBodyTimeout = call.timeout;
  client.defaultTimeout = call.timeout;
  const DeadlineScope deadline(client, call.deadline);
  HRESULT result = client.Connect(endpoint.host, endpoint.secure, endpoint.port);
  if (Webwire::Failed(result)) return result;
  const std::string target =
      endpoint.path + "?k=" + std::string(productId) + "&f=" + std::string(call.word);
  Webwire::memory_data_provider body(call.body);
  Webwire::handle request;
  result = client.OpenRequest(request, target, body, call.body.empty() ? "GET" : "POST");
  if (Webwire::Failed(result)) return result;
  if (Webwire::StatusCode(request) != 200) return Webwire::E_FAIL;
  Webwire::progress_callback progress;
  if (call.progress) {
    progress = [&call](std::uint64_t done, std::int64_t total, std::int64_t) {
      call.progress(done, total);
      return 0;
    };
  }
  return client.ReadResponse(request, writer, progress);
}

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
  LimitedWriter writer(answer, call.limit);
  const HRESULT result = SendTo(client, endpoint, productId, call, writer);
  if (Webwire::Failed(result)) answer.clear();
  return result;
}

HRESULT SendUpdateRequest(Webwire::rest_client& client, const UpdateEndpoint& endpoint,
                          std::string_view productId, const UpdateCall& call, int fd,
                          std::uint64_t& written) {
  LimitedFileWriter writer(fd, call.limit);
  const HRESULT result = SendTo(client, endpoint, productId, call, writer);
  written = writer.size();
  return result;
}

}  // namespace Molt
