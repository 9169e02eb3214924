// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/stored_token.h"

#include "platform/credential_store.h"

std::string ReadStoredToken(std::string* problem) {
  auto credential = platform::DefaultCredentialStore().Read(kTokenTarget, problem);
  return credential ? credential->secret : std::string();
}

bool StoreToken(const std::string& token, std::string* error) {
  if (token.size() > kMaxTokenSize) {
    if (error) *error = "the token is longer than 4 KB";
    return false;
  }
  return platform::DefaultCredentialStore().Write(kTokenTarget, {kTokenUser, token}, error);
}

bool DeleteStoredToken(std::string* error) {
  return platform::DefaultCredentialStore().Delete(kTokenTarget, error);
}

std::string StoredTokenProblem() {
  std::string problem;
  platform::DefaultCredentialStore().Trusted(&problem);
  return problem;
}
