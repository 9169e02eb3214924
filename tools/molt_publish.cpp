// SPDX-License-Identifier: GPL-3.0-or-later
// molt-publish: prepares a release folder for molt-server.
#include <CLI/CLI.hpp>
#include <iostream>

#include "molt/list_signature.h"
#include "tools/molt/publish.h"

int main(int argc, char** argv) {
  CLI::App app(
      "Writes the hash list, the signature archive and the files of a release for molt-server");
  std::string release, publish, keyFile, newKey, publicOf;
  app.add_option("RELEASE_FOLDER", release, "the files as clients should have them");
  app.add_option("PUBLISH_FOLDER", publish, "where molt-server finds them");
  app.add_option("--key", keyFile, "sign the hash list with this Ed25519 private key (PEM)");
  app.add_option("--new-key", newKey,
                 "make a new private key in this file and print its public key");
  app.add_option("--public-key", publicOf, "print the public key of this private key");
  CLI11_PARSE(app, argc, argv);

  std::string error;
  if (!newKey.empty() || !publicOf.empty()) {
    auto key = newKey.empty() ? Molt::SigningKey::Load(publicOf, &error)
                              : Molt::SigningKey::Generate(newKey, &error);
    if (!key) {
      std::cerr << "molt-publish: " << error << "\n";
      return 1;
    }
    std::cout << key->PublicKeyHex() << "\n";
    return 0;
  }
  if (release.empty() || publish.empty()) {
    std::cerr << app.help();
    return 2;
  }
  std::optional<Molt::SigningKey> key;
  if (!keyFile.empty() && !(key = Molt::SigningKey::Load(keyFile, &error))) {
    std::cerr << "molt-publish: " << error << "\n";
    return 1;
  }
  if (!MoltTools::Publish(release, publish, key ? &*key : nullptr, &error)) {
    std::cerr << "molt-publish: " << error << "\n";
    return 1;
  }
  return 0;
}
