// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/stored_token.h"

#include "platform/credential_store.h"

std::string ReadStoredToken() {
  auto credential = platform::DefaultCredentialStore().Read(kTokenTarget);
  return credential ? credential->secret : std::string();
}

bool StoreToken(const std::string& token, std::string* error) {
  return platform::DefaultCredentialStore().Write(kTokenTarget, {kTokenUser, token}, error);
}

void DeleteStoredToken() { platform::DefaultCredentialStore().Delete(kTokenTarget); }
