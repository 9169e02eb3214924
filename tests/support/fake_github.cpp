// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_github.h"

#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace testing_support {
namespace {

std::string DeviceAnswer() {
  nlohmann::json answer = {{"device_code", FakeGitHub::kDeviceCode},
                           {"user_code", FakeGitHub::kUserCode},
                           {"verification_uri", FakeGitHub::kVerificationUri},
                           {"expires_in", 900},
                           {"interval", 5}};
  return answer.dump();
}

}  // namespace

FakeGitHub::FakeGitHub(Script script)
    : script_(std::move(script)), server_(std::make_unique<httplib::Server>()) {
  server_->set_keep_alive_timeout(1);
  Route();
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the fake GitHub could not bind a port");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() before the loop runs would be lost and leave the destructor joining for ever.
  for (int i = 0; i < 5000 && !server_->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!server_->is_running()) {
    server_->stop();
    thread_.join();
    throw std::runtime_error("the fake GitHub did not start");
  }
}

FakeGitHub::~FakeGitHub() {
  server_->stop();
  thread_.join();
}

std::string FakeGitHub::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

void FakeGitHub::Grant() {
  std::lock_guard guard(mutex_);
  granted_ = true;
}

std::vector<FakeGitHub::Request> FakeGitHub::Requests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

int FakeGitHub::TokenRequests() const {
  int count = 0;
  for (const Request& request : Requests()) count += request.path == "/login/oauth/access_token";
  return count;
}

void FakeGitHub::Route() {
  auto record = [this](const httplib::Request& request) {
    std::lock_guard guard(mutex_);
    requests_.push_back({request.path, request.body, request.get_header_value("Accept"),
                         request.get_header_value("User-Agent"),
                         request.has_header("Content-Type")});
    return int(requests_.size());
  };
  server_->Post("/login/device/code", [this, record](const httplib::Request& request,
                                                     httplib::Response& response) {
    record(request);
    response.set_content(script_.deviceAnswer.empty() ? DeviceAnswer() : script_.deviceAnswer,
                         "application/json");
  });
  server_->Post("/login/oauth/access_token", [this, record](const httplib::Request& request,
                                                            httplib::Response& response) {
    record(request);
    bool grant;
    {
      std::lock_guard guard(mutex_);
      int polls = 0;
      for (const Request& seen : requests_) polls += seen.path == request.path;
      grant = granted_ || (script_.grantAfterPolls >= 0 && polls > script_.grantAfterPolls);
    }
    std::string body =
        nlohmann::json{{"error", "authorization_pending"},
                       {"error_description", "The authorization request is still pending."}}
            .dump();
    if (grant) {
      body = script_.tokenAnswer;
      if (body.empty())
        body =
            nlohmann::json{{"access_token", script_.token}, {"token_type", "bearer"}, {"scope", ""}}
                .dump();
    }
    response.status = script_.pollStatus;
    response.set_content(body, "application/json");
  });
}

}  // namespace testing_support
