#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A scriptable stand-in for the Copilot CLI: a JSON-RPC server on the port it is given.

The scenario is a JSON file named by FAKE_COPILOT_SCRIPT:
  authenticated   bool, the auth.getStatus answer (default true)
  authenticated_with_token
                  bool: authenticated exactly when started with --auth-token-env NAME and a
                  non-empty NAME in the environment (replaces "authenticated")
  auth_result     the auth.getStatus "result" as it stands (replaces the two above)
  create_error    answer session.create with this error object
  models          the models.list "result" (default: one model "gpt-4.1")
  models_error    answer models.list with an error instead
  quota           the account.getQuota "result" (default: an error)
  answers         list, one per session.send in order (system prompts count); each a list of
                  steps (deltas are left out for a session created with "streaming": false):
                    {"event": type, "data": {...}}   a session.event for the current session
                    {"sleep": seconds}
                    {"die": true}                    exit at once, mid-answer
                    {"stall": true}                  send nothing more, not even the idle,
                                                     whatever tessary asks
                    {"raw": text}                    bytes sent as they are
                    {"frame": [byte, ...]}           one frame with exactly these body bytes,
                                                     "$SESSION" replaced by the session id
                    {"request": {...}}               a request from the "CLI" (id added)
                  session.idle is sent after the last step unless the list ends with "die"
                  or "hold" (wait for session.abort)
  split_frames    send every frame one byte at a time
  prefix          bytes sent before every frame
  mute            answer nothing at all
  numeric_ids     answer "ping" with the id as a number instead of the string it was
  require_secret  answer every request with AUTHENTICATION_REQUIRED until connect (default true)
Everything received, the command line and the environment are written as JSON lines to the
file named by FAKE_COPILOT_LOG.
"""
import json
import os
import socket
import sys
import threading
import time


def load_scenario():
    path = os.environ.get("FAKE_COPILOT_SCRIPT")
    if not path:
        return {}
    with open(path) as f:
        return json.load(f)


SCENARIO = load_scenario()
LOG_PATH = os.environ.get("FAKE_COPILOT_LOG")
LOG_LOCK = threading.Lock()


def log(entry):
    if not LOG_PATH:
        return
    with LOG_LOCK, open(LOG_PATH, "a") as f:
        f.write(json.dumps(entry) + "\n")


def is_authenticated():
    if not SCENARIO.get("authenticated_with_token"):
        return SCENARIO.get("authenticated", True)
    args = sys.argv[1:]
    if "--auth-token-env" not in args:
        return False
    return bool(os.environ.get(args[args.index("--auth-token-env") + 1]))


class Connection:
    def __init__(self, sock):
        self.sock = sock
        self.send_lock = threading.Lock()
        self.buffer = b""
        self.authorised = not SCENARIO.get("require_secret", True)
        self.answers = list(SCENARIO.get("answers", []))
        self.abort = threading.Event()
        self.next_id = 1000
        self.streaming = {}

    def send(self, obj):
        # As the real CLI's JSON.stringify: characters past ASCII go raw, controls escaped.
        body = json.dumps(obj, separators=(",", ":"), ensure_ascii=False).encode()
        frame = SCENARIO.get("prefix", "").encode() + b"Content-Length: %d\r\n\r\n" % len(body) + body
        self.send_bytes(frame)

    def send_bytes(self, data):
        with self.send_lock:
            if SCENARIO.get("split_frames"):
                for i in range(len(data)):
                    self.sock.sendall(data[i:i + 1])
                    time.sleep(0.0005)
            else:
                self.sock.sendall(data)

    def event(self, session_id, etype, data):
        self.send({"jsonrpc": "2.0", "method": "session.event",
                   "params": {"sessionId": session_id, "event": {"type": etype, "data": data}}})

    def answer_prompt(self, session_id):
        steps = self.answers.pop(0) if self.answers else [
            {"event": "assistant.message_delta", "data": {"deltaContent": "ok"}},
            {"event": "assistant.message", "data": {"content": "ok"}}]
        for step in steps:
            if "sleep" in step:
                if self.abort.wait(step["sleep"]):
                    break
            elif "die" in step:
                os._exit(0)
            elif "stall" in step:
                time.sleep(3600)
                return
            elif "hold" in step:
                self.abort.wait(60)
            elif "raw" in step:
                self.send_bytes(step["raw"].encode())
            elif "frame" in step:
                body = bytes(step["frame"]).replace(b"$SESSION", session_id.encode())
                self.send_bytes(b"Content-Length: %d\r\n\r\n" % len(body) + body)
            elif "request" in step:
                request = dict(step["request"])
                request.update({"jsonrpc": "2.0", "id": self.next_id})
                self.next_id += 1
                self.send(request)
            elif step["event"].endswith("_delta") and not self.streaming.get(session_id, True):
                continue  # no pieces for a session opened without streaming
            else:
                self.event(session_id, step["event"], step.get("data", {}))
        self.event(session_id, "session.idle", {})

    def reply(self, request, result=None, error=None):
        if "id" not in request:
            return
        message = {"jsonrpc": "2.0", "id": request["id"]}
        if SCENARIO.get("numeric_ids") and request.get("method") == "ping":
            message["id"] = int(request["id"])
        if error is not None:
            message["error"] = error
        else:
            message["result"] = result if result is not None else {}
        self.send(message)

    def handle(self, request):
        log({"received": request})
        if SCENARIO.get("mute"):
            return  # a CLI that hangs: takes the connection, never answers
        method = request.get("method")
        if method is None:
            return  # a reply to one of our requests
        if method == "connect":
            self.authorised = request.get("params", {}).get("token") == os.environ.get(
                "COPILOT_CONNECTION_TOKEN")
            if not self.authorised:
                return self.reply(request, error={"code": -32001, "message": "AUTHENTICATION_REQUIRED"})
            return self.reply(request, {"ok": True, "protocolVersion": 3})
        if not self.authorised:
            return self.reply(request, error={"code": -32001, "message": "AUTHENTICATION_REQUIRED"})
        if method == "auth.getStatus":
            if "auth_result" in SCENARIO:
                return self.reply(request, SCENARIO["auth_result"])
            return self.reply(request, {"isAuthenticated": is_authenticated()})
        if method == "models.list":
            if SCENARIO.get("models_error"):
                return self.reply(request, error={"code": -32603, "message": "Not authenticated"})
            default = {"models": [{"id": "gpt-4.1", "name": "GPT-4.1",
                                   "billing": {"tokenPrices": {"outputPrice": 0}}}]}
            return self.reply(request, SCENARIO.get("models", default))
        if method == "account.getQuota":
            if "quota" in SCENARIO:
                return self.reply(request, SCENARIO["quota"])
            return self.reply(request, error={"code": -32603, "message": "Not authenticated"})
        if method == "session.create":
            if "create_error" in SCENARIO:
                return self.reply(request, error=SCENARIO["create_error"])
            session_id = "s-%d" % time.time_ns()
            self.streaming[session_id] = request.get("params", {}).get("streaming", True)
            return self.reply(request, {"sessionId": session_id, "workspacePath": "/tmp/ws"})
        if method == "session.send":
            self.reply(request, {"messageId": "m1"})
            self.abort.clear()
            session_id = request["params"]["sessionId"]
            threading.Thread(target=self.answer_prompt, args=(session_id,), daemon=True).start()
            return
        if method == "session.abort":
            self.abort.set()
            return self.reply(request, {})
        return self.reply(request, {})

    def run(self):
        while True:
            chunk = self.sock.recv(65536)
            if not chunk:
                return
            self.buffer += chunk
            while True:
                head, sep, rest = self.buffer.partition(b"\r\n\r\n")
                if not sep:
                    break
                length = int(head.split(b":")[1])
                if len(rest) < length:
                    break
                body, self.buffer = rest[:length], rest[length:]
                self.handle(json.loads(body))


def main():
    args = sys.argv[1:]
    log({"argv": args, "environ": dict(os.environ), "pid": os.getpid()})
    port = int(args[args.index("--port") + 1])
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(4)
    while True:
        sock, _ = server.accept()
        threading.Thread(target=Connection(sock).run, daemon=True).start()


if __name__ == "__main__":
    main()
