// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/workbench/auto_compile.h"

#include "faust/audio_in.h"
#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "shell/session.h"
#include "shell/submit_prompt.h"

using platform::ConsoleWrite;

namespace {

void ApplyToAllSources(const std::shared_ptr<VST>& record) {
  if (!sources.empty()) ConsoleWrite("\x1b[36mApplying to all sources...\x1b[0m\r\n");
  std::lock_guard guard(workbenchLock);
  for (const auto& source : sources) source->chain.push_back(record);
}

void QueueRetry(CMDSESSION& session, size_t position, const std::string& error) {
  --session.retriesLeft;
  fausts.erase(fausts.begin() + static_cast<std::ptrdiff_t>(position));
  ConsoleWrite("\x1b[31mCompilation failed, removing code and trying again (" +
               std::to_string(session.retriesLeft) + ")...\x1b[0m\r\n");
  retryPrompts.push_back("Please try again because faust compiler generated this error: \r\n" +
                         error);
}

}  // namespace

void AutoCompile(size_t position) {
  CMDSESSION& session = *cmdSession.load();
  if (session.autoCompile == 0) return;
  ConsoleWrite("\x1b[36mAuto-compiling code " + std::to_string(position) + "...\x1b[0m\r\n");
  if (PrepareFaust(position).empty()) {
    ConsoleWrite("\x1b[31mCompilation failed.\x1b[0m\r\n");
    return;
  }
  auto record = std::make_shared<VST>();
  record->file = faustDll;
  if (LoadVst(*record, true)) {
    {
      std::lock_guard guard(workbenchLock);
      vsts.push_back(record);
    }
    ConsoleWrite("\x1b[36mCompilation successful, saved to VST #" + std::to_string(vsts.size()) +
                 ", see /vst for more.\x1b[0m\r\n");
    if (session.autoCompile == 2) ApplyToAllSources(record);
    session.retriesLeft = session.retries;
    return;
  }
  if (session.retriesLeft > 0) QueueRetry(session, position, record->error);
}

void CaptureFaust(const std::string& answer) {
  std::optional<std::string> code = ExtractFaustCode(answer);
  if (!code) return;
  std::lock_guard guard(workbenchLock);
  fausts.push_back(std::move(*code));
  ConsoleWrite("\x1b[36mReceived faust code #" + std::to_string(fausts.size()) +
               ", see /faust for more.\x1b[0m\r\n");
  AutoCompile(fausts.size() - 1);
}
