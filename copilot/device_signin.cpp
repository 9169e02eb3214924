// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/device_signin.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "common/text.h"
#include "webwire/fetch.h"

#ifndef TESSARY_GITHUB_CLIENT_ID
#define TESSARY_GITHUB_CLIENT_ID "TESSARY-NO-CLIENT-ID"
#endif

namespace {

using namespace std::chrono_literals;

constexpr const char* kAgent = "REST";
constexpr const char* kAcceptJson = "Accept: application/json";
constexpr const char* kDeviceCodePath = "/login/device/code";
constexpr const char* kTokenPath = "/login/oauth/access_token";
constexpr const char* kGrantType = "urn:ietf:params:oauth:grant-type:device_code";
// How often the open dialog looks whether the token has come.
constexpr auto kTimerPeriod = 200ms;
// GitHub answers these requests at once; a stalled server must not hold Cancel for long.
constexpr auto kRequestTimeout = 30s;

// Values from outside go into the form body encoded, so an '&' or '=' in them cannot add
// fields. Typical client ids and device codes hold only characters that stay as they are.
std::string FormValue(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// One POST to the web host; the parsed answer, or nothing when the request or parsing failed
// (then `why` says which).
std::optional<nlohmann::json> PostForm(const std::string& webHost, const char* path,
                                       const std::string& body, std::string* why = nullptr) {
  Webwire::rest_client client;
  client.agent = kAgent;
  client.wholeBodyTimeout = kRequestTimeout;
  client.defaultTimeout = kRequestTimeout;
  Webwire::reply answer = Webwire::Fetch(client, "POST", webHost + path, {kAcceptJson}, body);
  if (Webwire::Failed(answer.result)) {
    if (why) *why = "The sign-in server " + webHost + " could not be reached.";
    return std::nullopt;
  }
  nlohmann::json parsed = nlohmann::json::parse(answer.body, nullptr, false);
  if (parsed.is_discarded()) {
    if (why) *why = "The sign-in server " + webHost + " did not answer in JSON (HTTP status " +
                    std::to_string(answer.status) + ").";
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::string> StringField(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

// Fills the codes and the answer; false when the answer lacks any of them.
bool RequestDeviceCode(SignInState& state, std::string& why) {
  std::optional<nlohmann::json> answer = PostForm(
      state.webHost, kDeviceCodePath, "client_id=" + FormValue(state.clientId) + "&", &why);
  if (!answer) return false;
  std::optional<std::string> deviceCode = StringField(*answer, "device_code");
  std::optional<std::string> userCode = StringField(*answer, "user_code");
  if (!deviceCode || !userCode || !StringField(*answer, "verification_uri")) {
    std::optional<std::string> error = StringField(*answer, "error");
    why = "The sign-in server handed out no device code" + (error ? " (" + *error + ")" : "") + ".";
    return false;
  }
  state.deviceCode = *deviceCode;
  state.userCode = *userCode;
  state.answer = std::make_unique<nlohmann::json>(std::move(*answer));
  return true;
}

void FinishPolling(SignInState& state, const std::string& token) {
  {
    std::lock_guard guard(state.lock);
    state.token = token;
    state.pollerDone = true;
  }
  state.changed.notify_all();
}

bool TokenArrived(SignInState& state) {
  std::lock_guard guard(state.lock);
  return !state.token.empty();
}

// Keeps the dialog open until a button closes it or the poller has a result.
void RunDialog(SignInState& state, SignInView& view, bool interactive) {
  std::string address = (*state.answer)["verification_uri"].get<std::string>();
  while (interactive) {
    SignInButton button = view.WaitForButton(kTimerPeriod);
    if (button == SignInButton::Cancel) return;
    if (button == SignInButton::CopyCode) view.CopyCode(state.userCode);
    if (button == SignInButton::OpenAddress) view.OpenAddress(address);
    if (button == SignInButton::NoInput) interactive = false;
    if (TokenArrived(state)) return;
  }
  // Nobody can press Cancel: wait for the token, the failure or the last attempt.
  std::unique_lock guard(state.lock);
  state.changed.wait(guard, [&] { return !state.token.empty() || state.pollerDone; });
}

}  // namespace

const char* GitHubClientId() { return TESSARY_GITHUB_CLIENT_ID; }

SignInSettings SignInSettingsFromEnvironment(const std::string& clientId) {
  SignInSettings settings;
  settings.clientId = clientId;
  const char* host = getenv("TESSARY_GITHUB_URL");
  if (host && *host) settings.webHost = host;
  while (!settings.webHost.empty() && settings.webHost.back() == '/') settings.webHost.pop_back();
  const char* interval = getenv("TESSARY_SIGNIN_POLL_MS");
  if (interval && common::ReadNumber(interval) > 0)
    settings.pollInterval = std::chrono::milliseconds(common::ReadNumber(interval));
  return settings;
}

void PollToken(SignInState& state) {
  const std::string body = "client_id=" + FormValue(state.clientId) +
                           "&device_code=" + FormValue(state.deviceCode) +
                           "&grant_type=" + kGrantType;
  for (int attempt = 0; attempt < state.maxPolls; ++attempt) {
    std::optional<nlohmann::json> answer = PostForm(state.webHost, kTokenPath, body);
    if (!answer) return FinishPolling(state, " ");
    // Pending and slow-down answers carry no token and are not examined further.
    if (answer->is_object() && answer->contains("access_token")) {
      std::optional<std::string> token = StringField(*answer, "access_token");
      return FinishPolling(state, token && !token->empty() ? *token : " ");
    }
    std::unique_lock guard(state.lock);
    if (state.changed.wait_for(guard, state.pollInterval, [&] { return state.cancelled; })) {
      state.pollerDone = true;
      return;
    }
  }
  FinishPolling(state, "");
}

std::string DeviceSignIn(const SignInSettings& settings, SignInView& view, std::string* failure) {
  SignInState state;
  state.clientId = settings.clientId;
  state.webHost = settings.webHost;
  state.pollInterval = settings.pollInterval;
  state.maxPolls = settings.maxPolls;
  std::string why;
  if (!RequestDeviceCode(state, why)) {
    if (failure) *failure = why;
    return "";
  }
  bool interactive =
      view.Show((*state.answer)["verification_uri"].get<std::string>(), state.userCode);
  try {
    state.poller = std::make_shared<std::thread>(PollToken, std::ref(state));
  } catch (const std::system_error&) {
    return "";
  }
  RunDialog(state, view, interactive);
  {
    std::lock_guard guard(state.lock);
    state.cancelled = true;
  }
  state.changed.notify_all();
  state.poller->join();
  std::lock_guard guard(state.lock);
  // The poller marks a failed answer with a blank token.
  if (state.token == " " && failure) *failure = "The sign-in server did not hand out a token.";
  return state.token.size() < 3 ? std::string() : state.token;
}

std::string DeviceSignIn(const std::string& clientId, std::string* failure) {
  std::unique_ptr<SignInView> view = MakeConsoleSignInView();
  return DeviceSignIn(SignInSettingsFromEnvironment(clientId), *view, failure);
}
