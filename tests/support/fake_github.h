// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace testing_support {

/// A stand-in for GitHub's device-flow endpoints on 127.0.0.1 and an ephemeral port. It
/// hands out a device code, answers "authorization_pending" until the token is granted,
/// then the token.
class FakeGitHub {
 public:
  struct Script {
    std::string deviceAnswer{};  // body for the device-code request; empty: a valid answer
    int grantAfterPolls = -1;    // pending answers before the token; -1: until Grant()
    std::string tokenAnswer{};   // body that grants; empty: {"access_token": token, ...}
    std::string token = "gho_FakeToken123";
    int pollStatus = 200;  // HTTP status of every token answer
  };

  /// A request the fake received.
  struct Request {
    std::string path;
    std::string body;
    std::string accept;  // the Accept header
    std::string userAgent;
    bool hasContentType = false;
  };

  static constexpr const char* kUserCode = "WDJB-MJHT";
  static constexpr const char* kDeviceCode = "3584d83530557fdd1f46af8289938c8ef79f9dc5";
  static constexpr const char* kVerificationUri = "https://github.com/login/device";

  explicit FakeGitHub(Script script);
  FakeGitHub() : FakeGitHub(Script{}) {}
  ~FakeGitHub();
  FakeGitHub(const FakeGitHub&) = delete;
  FakeGitHub& operator=(const FakeGitHub&) = delete;

  /// "http://127.0.0.1:<port>", the value for TESSARY_GITHUB_URL.
  std::string Url() const;
  /// From now on token requests get the token.
  void Grant();
  std::vector<Request> Requests() const;
  int TokenRequests() const;

 private:
  void Route();

  Script script_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
  mutable std::mutex mutex_;
  bool granted_ = false;
  std::vector<Request> requests_;
};

}  // namespace testing_support
