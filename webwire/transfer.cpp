// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/transfer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/text.h"
#include "webwire/url.h"

namespace Webwire::detail {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// One body piece handed to the network at a time.
constexpr std::size_t kUploadPiece = 4096;
constexpr milliseconds kLongestPoll{1000};
// How soon a cancelled request notices.
constexpr milliseconds kCancelPoll{50};

bool IsVerb(std::string_view verb, std::string_view name) {
  return common::EqualsIgnoringCase(verb, name);
}

bool IsFollowedRedirect(long status) { return status >= 300 && status < 400 && status != 304; }

}  // namespace

std::shared_ptr<request_object> request_object::Create(std::shared_ptr<session_object> session) {
  if (!session) return nullptr;
  CURL* easy = Curl()->easy_init();
  if (easy == nullptr) return nullptr;
  return std::make_shared<request_object>(std::move(session), easy);
}

request_object::~request_object() {
  // Leaving the multi handle before the answer is complete closes the connection, so a
  // dropped request never leaves half an answer for the next one.
  if (inMulti_) Curl()->multi_remove_handle(session_->multi(), easy_);
  Curl()->easy_cleanup(easy_);
  Curl()->slist_free_all(headers_);
}

HRESULT request_object::Send(const request_setup& setup) {
  if (!Configure(setup)) return E_OUTOFMEMORY;
  if (Curl()->multi_add_handle(session_->multi(), easy_) != CURLM_OK) return E_FAIL;
  inMulti_ = true;
  Drive([this] { return headDone_; });
  // The provider and the callback belong to the caller only for the length of this call.
  body_ = nullptr;
  progress_ = nullptr;
  if (finished_ && result_ != CURLE_OK) {
    return result_ == CURLE_ABORTED_BY_CALLBACK ? abortReason_ : HresultFromCurl(result_);
  }
  return S_OK;
}

bool request_object::Configure(const request_setup& setup) {
  timeout_ = setup.timeout;
  cancelled_ = setup.cancelled;
  curl_slist* list = nullptr;
  auto append = [&list](const std::string& line) {
    curl_slist* grown = Curl()->slist_append(list, line.c_str());
    if (grown != nullptr) list = grown;
    return grown != nullptr;
  };
  bool ok = true;
  for (const std::string& line : setup.headerLines) ok = ok && append(line);
  // Send only what the caller asked for: no guessed content type and no waiting for a
  // "100 Continue" that some servers never send.
  if (!HasHeader(setup.headerLines, "Content-Type")) ok = ok && append("Content-Type:");
  if (!HasHeader(setup.headerLines, "Expect")) ok = ok && append("Expect:");
  headers_ = list;
  if (!ok) return false;

  Curl()->easy_setopt(easy_, CURLOPT_PRIVATE, this);
  Curl()->easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  Curl()->easy_setopt(easy_, CURLOPT_PROXY, "");  // direct, whatever the environment says
  Curl()->easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  // A secure request is never redirected to plain HTTP, where its headers could be read.
  const bool secure = common::EqualsIgnoringCase(setup.url.substr(0, 8), "https://");
  Curl()->easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  Curl()->easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
  Curl()->easy_setopt(easy_, CURLOPT_MAXREDIRS, 10L);
  Curl()->easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
  Curl()->easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
  Curl()->easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_.count()));
  if (!setup.agent.empty()) Curl()->easy_setopt(easy_, CURLOPT_USERAGENT, setup.agent.c_str());
  Curl()->easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
  Curl()->easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &request_object::OnHeader);
  Curl()->easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  Curl()->easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &request_object::OnWrite);
  Curl()->easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  if (Curl()->easy_setopt(easy_, CURLOPT_URL, setup.url.c_str()) != CURLE_OK) return false;
  return ConfigureBody(setup);
}

bool request_object::ConfigureBody(const request_setup& setup) {
  data_provider* body = setup.body;
  const std::uint64_t size = body != nullptr ? body->size() : 0;
  if (IsVerb(setup.verb, "HEAD")) {
    Curl()->easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    return true;
  }
  if (size == 0 && IsVerb(setup.verb, "GET")) {
    Curl()->easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    return true;
  }
  // Any other request carries a body, even an empty one, so it states its length.
  Curl()->easy_setopt(easy_, CURLOPT_POST, 1L);
  if (setup.verb != "POST") Curl()->easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, setup.verb.c_str());
  Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
  if (size == 0) {
    Curl()->easy_setopt(easy_, CURLOPT_POSTFIELDS, "");
  } else if (body->whole()) {
    // Copied, so the caller's block need not outlive the call even if the server answers
    // before the whole body has gone out.
    const data_block block = body->block();
    if (block.data == nullptr || block.size != size) return false;
    return Curl()->easy_setopt(easy_, CURLOPT_COPYPOSTFIELDS, block.data) == CURLE_OK;
  } else {
    body_ = body;
    progress_ = setup.progress;
    bodySize_ = size;
    Curl()->easy_setopt(easy_, CURLOPT_READFUNCTION, &request_object::OnRead);
    Curl()->easy_setopt(easy_, CURLOPT_READDATA, this);
  }
  return true;
}

template <class Done>
void request_object::Drive(Done done) {
  Touch();
  CURLM* multi = session_->multi();
  while (!finished_ && !done()) {
    int running = 0;
    if (Curl()->multi_perform(multi, &running) != CURLM_OK) {
      Finish(CURLE_FAILED_INIT);
      break;
    }
    CollectFinished();
    if (finished_ || done()) break;
    if (cancelled_ && cancelled_()) {
      abortReason_ = E_ABORT;
      Finish(CURLE_ABORTED_BY_CALLBACK);
      break;
    }
    const auto idle = std::chrono::duration_cast<milliseconds>(steady_clock::now() - lastActivity_);
    if (idle >= timeout_) {
      Finish(CURLE_OPERATION_TIMEDOUT);
      break;
    }
    const milliseconds wait = std::min(timeout_ - idle, cancelled_ ? kCancelPoll : kLongestPoll);
    Curl()->multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
  }
}

void request_object::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = Curl()->multi_info_read(session_->multi(), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    // Other requests of the same session may finish while this one is driven.
    char* owner = nullptr;
    Curl()->easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
    auto* request = reinterpret_cast<request_object*>(owner);
    if (request == nullptr) continue;
    request->finished_ = true;
    request->result_ = message->data.result;
  }
}

void request_object::Finish(CURLcode code) {
  if (inMulti_) Curl()->multi_remove_handle(session_->multi(), easy_);
  inMulti_ = false;
  finished_ = true;
  result_ = code;
}

size_t request_object::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<request_object*>(self);
  const std::size_t bytes = size * count;
  const std::string_view line(data, bytes);
  request->Touch();
  if (line.starts_with("HTTP/")) {
    request->locationSeen_ = false;
  } else if (line.size() > 9 && common::EqualsIgnoringCase(line.substr(0, 9), "location:")) {
    request->locationSeen_ = true;
  } else if (line == "\r\n" || line == "\n") {
    // The end of a head; interim (1xx) answers and redirects that will be followed are not
    // the answer the caller waits for.
    long status = 0;
    Curl()->easy_getinfo(request->easy_, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && !(IsFollowedRedirect(status) && request->locationSeen_)) {
      request->headDone_ = true;
    }
  }
  return bytes;
}

size_t request_object::OnWrite(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<request_object*>(self);
  const std::size_t bytes = size * count;
  request->Touch();
  request->headDone_ = true;
  request->pending_.append(data, bytes);
  return bytes;
}

size_t request_object::OnRead(char* buffer, size_t size, size_t count, void* self) {
  auto* request = static_cast<request_object*>(self);
  if (request->body_ == nullptr) {
    // The caller's provider is gone: the server answered before taking the whole body.
    request->abortReason_ = E_FAIL;
    return CURL_READFUNC_ABORT;
  }
  const std::uint64_t left = request->bodySize_ - request->bodySent_;
  if (left == 0) return 0;
  const std::uint64_t want = std::min<std::uint64_t>({size * count, kUploadPiece, left});
  const std::uint64_t got = request->body_->read(reinterpret_cast<std::uint8_t*>(buffer), want);
  if (got == 0 || got > want) {
    // A provider that ends before its stated size would leave the server waiting.
    request->abortReason_ = E_FAIL;
    return CURL_READFUNC_ABORT;
  }
  request->Touch();
  request->bodySent_ += got;
  const progress_callback* progress = request->progress_;
  if (progress != nullptr && *progress &&
      (*progress)(request->bodySent_, static_cast<std::int64_t>(request->bodySize_), 0) < 0) {
    request->abortReason_ = E_ABORT;
    return CURL_READFUNC_ABORT;
  }
  return static_cast<size_t>(got);
}

long request_object::Status() const {
  long status = 0;
  Curl()->easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::int64_t request_object::ContentLength() const {
  curl_off_t length = -1;
  if (Curl()->easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
    return -1;
  }
  return length < 0 ? -1 : static_cast<std::int64_t>(length);
}

bool request_object::Read(std::uint8_t* out, std::size_t max, std::size_t& got) {
  got = 0;
  if (pendingPos_ == pending_.size()) {
    pending_.clear();
    pendingPos_ = 0;
    Drive([this] { return !pending_.empty(); });
  }
  if (pendingPos_ < pending_.size()) {
    got = std::min(max, pending_.size() - pendingPos_);
    std::memcpy(out, pending_.data() + pendingPos_, got);
    pendingPos_ += got;
    return true;
  }
  return finished_ && result_ == CURLE_OK;
}

}  // namespace Webwire::detail
