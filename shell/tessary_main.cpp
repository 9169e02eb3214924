// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/tessary_main.h"

#include <clocale>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include "copilot/copilot_raw.h"
#include "copilot/extract.h"
#include "copilot/local_models.h"
#include "ollama/ollama.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/control_signals.h"
#include "platform/line_editor.h"
#include "platform/terminal.h"
#include "shell/backend.h"
#include "shell/console_control.h"
#include "shell/copy_response.h"
#include "shell/dispatch.h"
#include "shell/prompt.h"
#include "shell/prompt_loop.h"
#include "shell/session.h"
#include "shell/startup_options.h"
#include "shell/workbench_link.h"

namespace {

std::shared_ptr<CMDSESSION> MakeSession(const StartupOptions& options) {
  auto session = std::make_shared<CMDSESSION>();
  std::error_code error;
  session->folder = std::filesystem::current_path(error).string();
  session->model = options.model;
  session->mode = options.mode == "chat" ? kChatMode : options.mode == "cmd" ? kCmdMode : kFaustMode;
  return session;
}

void Shutdown() {
  // Sources stop first: their threads play through rack entries released below.
  const WorkbenchCalls* workbench = LoadedWorkbench();
  if (workbench) workbench->stopSources();
  // Nothing the start-up thread waits for may hold up the end: the unpacking, the CLI's
  // start and handshake, and the model listing all give up at once.
  CancelExtraction();
  if (std::shared_ptr<LocalModels> local = GetLocalModels()) local->CancelListings();
  CloseEveryClient();
  // A local model's conversation has a receiver thread of its own; it ends here, not at exit.
  cmdSession.load()->SetConversation(nullptr);
  copilot.store(nullptr);
  JoinBackendThreads();
  // A start-up thread that finished after the first release published its client.
  copilot.store(nullptr);
  // Asked again: the start-up thread, joined above, may have loaded it meanwhile.
  if (const WorkbenchCalls* loaded = LoadedWorkbench()) loaded->release();
}

// Plug-ins and compiled effects run in host processes started from this same executable,
// unless asked otherwise for measurement or debugging.
std::string HostProgram() {
  const char* mode = std::getenv("TESSARY_PLUGIN_HOSTS");
  if (mode && std::string(mode) == "inprocess") return {};
  // Still this program when an update has replaced the file meanwhile.
  return "/proc/self/exe";
}

}  // namespace

int RunTessary(int argc, char** argv) {
  setlocale(LC_ALL, "");
  // Before any thread exists, so that only the control thread ever takes these signals.
  platform::BlockControlSignals();
  platform::SaveTerminalSettings();
  platform::RestoreTerminalOnEveryEnd();
  // An exception nobody caught must not leave the CLI running or the terminal raw.
  std::set_terminate([] {
    platform::EndEveryChildProcess();
    platform::RestoreTerminalSettings();
    std::abort();
  });
  platform::ControlSignalThread control(OnConsoleControl);

  int exitCode = 0;
  std::optional<StartupOptions> options = ParseCommandLine(argc, argv, exitCode);
  if (!options) return exitCode;
  if (options->cli) return RunInteractiveCli(options->token);

  SetLocalModels(std::make_shared<OllamaBackend>());
  std::shared_ptr<CMDSESSION> session = MakeSession(*options);
  cmdSession.store(session);
  if (!options->folder.empty()) DispatchCommand("cd \"" + options->folder + "\"");

  platform::LineEditor editor(CopyLastResponse, [session] {
    return BuildPrompt(CurrentPromptState(), session->folder);
  });
  SetWorkbenchHosts(HostProgram(), [&editor] { editor.RequestRedraw(); });
  StartBackendThread(options->token, &editor);
  platform::ConsoleWrite(BannerText(session->mode));
  RunPromptLoop(editor);
  Shutdown();
  return 0;
}
