// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/submit_prompt.h"

#include <atomic>
#include <mutex>

#include "common/terminal_text.h"
#include "copilot/session_protocol.h"
#include "platform/console.h"
#include "shell/backend.h"
#include "shell/cmd_mode.h"
#include "shell/faust_prompt.h"
#include "shell/session.h"
#include "shell/workbench_link.h"

using platform::ConsoleWrite;

std::vector<std::string> retryPrompts;

namespace {

// A streamed answer is made safe piece by piece; a character split between two pieces is
// printed once it is whole. The pieces of one prompt come from one thread at a time.
std::mutex streamsLock;
common::TerminalSafeStream reasoningStream;
common::TerminalSafeStream answerStream;

void WriteReasoning(const std::string& safe) {
  if (!safe.empty() && cmdSession.load()->showThinking)
    ConsoleWrite("\x1b[38;5;8m" + safe + "\x1b[0m");
}

void WriteAnswer(const std::string& safe) {
  std::string out;
  if (afterReasoning.exchange(false)) out = "\r\n";
  if (!safe.empty()) out += "\x1b[32m" + safe + "\x1b[0m";
  if (!out.empty()) ConsoleWrite(out);
}

// What is still held back at the end of an answer.
void FinishStreams() {
  std::lock_guard guard(streamsLock);
  WriteReasoning(reasoningStream.Finish());
  std::string rest = answerStream.Finish();
  if (!rest.empty()) WriteAnswer(rest);
}

// Set by Ctrl+C during an answer; it also stops the repair prompts queued behind it.
std::atomic<bool> promptAborted{false};

// From the first failed compile that queued a repair to the end of the loop: one Ctrl+C
// stops it, also between an answer and the next repair prompt, when no answer is awaited.
std::atomic<bool> repairsUnderWay{false};
std::atomic<bool> repairsStopped{false};

const char* SystemPromptFor(int32_t mode, std::string& faust) {
  if (mode == kCmdMode) return kCmdModePrompt;
  if (mode == kFaustMode) {
    // The prompt names the engine's library folder.
    const WorkbenchCalls* workbench = Workbench();
    faust = FaustPrompt(workbench ? workbench->libraryFolder() : std::string());
    return faust.c_str();
  }
  return nullptr;
}

}  // namespace

void EnsureConversation() {
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  if (!session || !client || session->Conversation()) return;
  std::string failure;
  auto conversation = CreateSession(*client, session->model, &session->options, &failure);
  session->SetConversation(conversation);
  if (!conversation) {
    // Otherwise every prompt would do nothing without a word.
    ConsoleWrite("\x1b[31m" + common::TerminalSafeLine(failure) + "\x1b[0m\r\n");
    return;
  }
  ApproveAll(*client, conversation);
  std::string text;
  if (const char* systemPrompt = SystemPromptFor(session->mode, text))
    Send(*client, conversation, MakeMessage(systemPrompt, nullptr, nullptr, 0, nullptr));
}

void DropConversation() {
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  if (auto conversation = session->Conversation(); conversation && client)
    DeleteSession(*client, conversation);
  session->SetConversation(nullptr);
}

void AbortRunningPrompt() {
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  promptAborted.store(true);
  if (session && client) Abort(*client, session->Conversation());
}

int32_t OnReasoningPiece(std::string& text, uint64_t) {
  afterReasoning.store(true);
  std::lock_guard guard(streamsLock);
  WriteReasoning(reasoningStream.Feed(text));
  return 0;
}

int32_t OnAnswerPiece(std::string& text, uint64_t) {
  std::lock_guard guard(streamsLock);
  WriteAnswer(answerStream.Feed(text));
  return 0;
}

namespace {

// True when an answer arrived without error and was not stopped.
bool SubmitOnePrompt(const std::string& line, PromptState state) {
  if (!IsAuthenticated()) {
    // A CLI that could not be asked is no reason to sign in again: say what went wrong.
    std::string problem = CopilotStatus().problem;
    ConsoleWrite(std::string("\x1b[31m") +
                 (!problem.empty()                 ? common::TerminalSafeLine(problem)
                  : state == PromptState::SignedOut ? "Not authenticated, run /login"
                                                    : "Not yet authenticated") +
                 "\x1b[0m \n");
    return false;
  }
  // After a lost connection the new back-end may still be starting; this prompt is for it.
  if (!copilot.load()) JoinBackendThreads();
  // A conversation opened through an earlier back-end has nothing left to talk to.
  if (auto open = cmdSession.load()->Conversation(); open && open->client != copilot.load().get())
    cmdSession.load()->SetConversation(nullptr);
  EnsureConversation();
  std::shared_ptr<CMDSESSION> session = cmdSession.load();
  std::shared_ptr<COPILOT_RAW> client = copilot.load();
  std::shared_ptr<COPILOT_SESSION> conversation = session->Conversation();
  if (!IsAuthenticated() || !conversation || !client) return false;

  afterReasoning.store(false);
  promptAborted.store(false);
  auto message = MakeMessage(line, OnReasoningPiece, OnAnswerPiece, 0, nullptr);
  promptBusy.store(1);
  copyTaken.store(0);
  Send(*client, conversation, message);
  std::shared_ptr<COMPLETED_MESSAGE> completed;
  int waited = Wait(*client, conversation, message);
  FinishStreams();
  if (waited == 0) {
    std::lock_guard queue(client->queueLock);
    completed = message->completed;
  } else {
    ConsoleWrite("\x1b[31mCopilot did not finish the answer in time.\x1b[0m\r\n");
  }
  if (completed) {
    if (!completed->error.empty())
      ConsoleWrite("\x1b[31m" + common::TerminalSafe(completed->error) + "\x1b[0m\r\n");
    if (!completed->content.empty()) {
      session->AddResponse(completed->content);
      if (!session->options.streaming)
        ConsoleWrite("\x1b[32m" + common::TerminalSafe(completed->content) + "\x1b[0m");
    }
    ConsoleWrite("\r\n\x1b[36mResponse " + std::to_string(session->ResponseCount()) +
                 " done\x1b[0m\r\n");
    // An answer the user stopped is cut short; its code would only fail and ask for more.
    if (session->mode == kFaustMode && !completed->content.empty() && !promptAborted.load()) {
      if (const WorkbenchCalls* workbench = Workbench()) workbench->captureFaust(completed->content);
      if (!retryPrompts.empty()) repairsUnderWay.store(true);
    }
  }
  promptBusy.store(0);
  // A lost connection leaves nothing to talk to, and a CLI that ignores an abort cannot be
  // trusted with the next prompt: either way the next prompt gets a new back-end.
  if (completed && (completed->error == kConnectionLost || completed->error == kAbortUnanswered)) {
    session->SetConversation(nullptr);
    copilot.store(nullptr);
    RestartBackendThread();
  }
  return completed && completed->error.empty() && !promptAborted.load();
}

}  // namespace

// Code that did not compile queues a repair prompt; each goes out as soon as the answer before
// it is handled, until the code compiles, the retries run out, or the user stops an answer.
void SubmitPrompt(const std::string& line, PromptState state) {
  bool answered = SubmitOnePrompt(line, state);
  while (answered && !retryPrompts.empty() && !quitting.load() && !repairsStopped.load()) {
    std::string retry = std::move(retryPrompts.front());
    retryPrompts.erase(retryPrompts.begin());
    answered = SubmitOnePrompt(retry, CurrentPromptState());
  }
  if (repairsStopped.load()) ConsoleWrite("\x1b[33mRepairs stopped.\x1b[0m\r\n");
  retryPrompts.clear();
  repairsUnderWay.store(false);
  repairsStopped.store(false);
}

bool StopRepairs() {
  if (!repairsUnderWay.load()) return false;
  repairsStopped.store(true);
  if (promptBusy.load() != 0) AbortRunningPrompt();
  return true;
}
