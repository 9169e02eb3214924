// SPDX-License-Identifier: GPL-3.0-or-later
// What the workbench module offers the program that loads it.
#include "faust/audio_in.h"
#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "faust/host_notices.h"
#include "faust/workbench.h"
#include "plexar/remote/host_process.h"
#include "shell/session.h"
#include "shell/workbench/auto_compile.h"
#include "shell/workbench_link.h"

namespace {

std::string LibraryFolder() {
  EnsureFaustEngine();
  return faustFolder;
}

void StopSources() { StopAllSources(quitting); }

// Hosts go before the rack they serve: an entry whose host hangs cannot hold up the end, no
// host's end is reported as a crash, and a notice that is starting the engine host again
// finds it gone at once.
void Release() {
  MuteHostNotices();
  plexar::remote::ShutdownHosts();
  StopHostNotices();
  ReleaseWorkbench();
}

void Start(const std::string& program, std::function<void()> redraw) {
  if (!program.empty()) plexar::remote::SetHostProgram(program);
  if (redraw) SetNoticeRedraw(std::move(redraw));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const WorkbenchCalls* TessaryWorkbenchCalls() {
  static const WorkbenchCalls calls{
      FaustCommand, VstCommand, SourceCommand,   CaptureFaust,  LibraryFolder,
      plexar::remote::CancelHostCalls, StopSources, Release, Start, RunPluginHost,
  };
  return &calls;
}
