// SPDX-License-Identifier: GPL-3.0-or-later
// The libcurl objects behind the client's handles. Internal to the webwire library.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "webwire/curl_library.h"
#include "webwire/data_provider.h"
#include "webwire/handle.h"
#include "webwire/hresult.h"
#include "webwire/progress.h"

namespace Webwire::detail {

/// The result a failed transfer reports.
HRESULT HresultFromCurl(CURLcode code);

/// One multi handle. Its connection cache is what lets consecutive requests of a client
/// share a connection; requests keep their session alive while they exist.
class session_object : public handle_object {
 public:
  /// Null when libcurl cannot make one.
  static std::shared_ptr<session_object> Create();
  explicit session_object(CURLM* multi) : multi_(multi) {}
  ~session_object() override { Curl()->multi_cleanup(multi_); }
  session_object(const session_object&) = delete;
  session_object& operator=(const session_object&) = delete;

  CURLM* multi() const { return multi_; }

 private:
  CURLM* multi_;
};

/// The server that relative request paths go to, as "scheme://host:port".
class connection_object : public handle_object {
 public:
  connection_object(std::shared_ptr<session_object> session, std::string origin)
      : session_(std::move(session)), origin_(std::move(origin)) {}

  const std::shared_ptr<session_object>& session() const { return session_; }
  const std::string& origin() const { return origin_; }

 private:
  std::shared_ptr<session_object> session_;
  std::string origin_;
};

/// What one request sends.
struct request_setup {
  std::string url;
  std::string verb;
  std::vector<std::string> headerLines;  // as HeaderLines gives them
  data_provider* body = nullptr;         // only used during Send; null sends none
  const progress_callback* progress = nullptr;
  std::chrono::milliseconds timeout{60000};  // connecting, and the longest pause in traffic
  std::string agent;
  std::function<bool()> cancelled;  // empty: never
};

/// One easy handle on its session's multi handle. Send runs the transfer until the head of
/// the answer is in; Read runs it on, piece by piece. Both block the calling thread; one
/// thread at a time.
class request_object : public handle_object {
 public:
  static std::shared_ptr<request_object> Create(std::shared_ptr<session_object> session);
  request_object(std::shared_ptr<session_object> session, CURL* easy)
      : session_(std::move(session)), easy_(easy) {}
  ~request_object() override;
  request_object(const request_object&) = delete;
  request_object& operator=(const request_object&) = delete;

  /// S_OK once the answer's head has arrived, else why not.
  HRESULT Send(const request_setup& setup);
  /// The answer's HTTP status, 0 before there is one.
  long Status() const;
  /// The answer's Content-Length, -1 when it gave none.
  std::int64_t ContentLength() const;
  /// Waits for body bytes and copies up to `max` of them into `out`. False when the transfer
  /// failed; true with `got` 0 at the end of the body.
  bool Read(std::uint8_t* out, std::size_t max, std::size_t& got);

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnWrite(char* data, size_t size, size_t count, void* self);
  static size_t OnRead(char* buffer, size_t size, size_t count, void* self);

  bool Configure(const request_setup& setup);
  bool ConfigureBody(const request_setup& setup);
  template <class Done>
  void Drive(Done done);
  void CollectFinished();
  void Finish(CURLcode code);
  void Touch() { lastActivity_ = std::chrono::steady_clock::now(); }

  std::shared_ptr<session_object> session_;
  CURL* easy_;
  curl_slist* headers_ = nullptr;
  bool inMulti_ = false;
  bool finished_ = false;
  CURLcode result_ = CURLE_OK;
  HRESULT abortReason_ = E_ABORT;
  bool headDone_ = false;
  bool locationSeen_ = false;
  std::string pending_;  // body bytes received but not yet read
  std::size_t pendingPos_ = 0;
  std::chrono::milliseconds timeout_{60000};
  std::function<bool()> cancelled_;
  std::chrono::steady_clock::time_point lastActivity_;
  // Streamed upload, valid only during Send.
  data_provider* body_ = nullptr;
  const progress_callback* progress_ = nullptr;
  std::uint64_t bodySize_ = 0;
  std::uint64_t bodySent_ = 0;
};

}  // namespace Webwire::detail
