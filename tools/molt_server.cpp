// SPDX-License-Identifier: GPL-3.0-or-later
// molt-server: answers the updater from a folder molt-publish filled. Plain HTTP; put a TLS
// proxy in front of it for anything but loopback.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "tools/molt/update_server.h"

int main(int argc, char** argv) {
  CLI::App app("Serves a published release to the updater at /molter/molter.php");
  std::string publish;
  std::string host = "127.0.0.1";
  int port = 8080;
  app.add_option("PUBLISH_FOLDER", publish, "the folder molt-publish wrote")->required();
  app.add_option("--port", port, "the port to listen on")->check(CLI::Range(1, 65535));
  app.add_option("--host", host, "the address to listen on");
  CLI11_PARSE(app, argc, argv);

  // Blocked before the server's threads exist, so only sigwait below ever takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  MoltTools::UpdateServer server(publish,
                                 [](const std::string& line) { std::cout << line << std::endl; });
  if (!server.Start(port, host)) {
    std::cerr << "molt-server: cannot listen on " << host << ":" << port << "\n";
    return 1;
  }
  std::cout << "molt-server: answering at http://" << host << ":" << port << "/molter/molter.php"
            << std::endl;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  return 0;
}
