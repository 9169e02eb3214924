#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for a local Ollama server, answering like the real one.

Usage: fake_ollama.py PORT SCENARIO LOG
The scenario (JSON):
  models    list of {"model": name, "capabilities": [...]}          for /api/tags, /api/show
  tags_raw  text sent as the /api/tags body instead (e.g. not JSON)
  framing   "length" (default), "chunked", or "split" (the JSON over two chunks)
  answers   one per /api/generate, in order: {"response": text, "context": [...]}, or
            {"close": true} (drop the connection mid-reply), {"garbage": true} (a reply that
            is neither framed nor chunked), or {"bytes": [...]} (exactly this reply body)
Every request is logged as a JSON line {"path": ..., "body": raw body text}.
"""
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT = int(sys.argv[1])
SCENARIO = json.load(open(sys.argv[2]))
LOG = sys.argv[3]
ANSWERS = list(SCENARIO.get("answers", []))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, text):
        data = text if isinstance(text, bytes) else text.encode()
        framing = SCENARIO.get("framing", "length")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        if framing == "length":
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        pieces = [data] if framing == "chunked" else [data[:len(data) // 2], data[len(data) // 2:]]
        for piece in pieces:
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def record(self, body):
        with open(LOG, "a") as f:
            f.write(json.dumps({"path": self.path, "body": body}) + "\n")

    def do_GET(self):
        self.record("")
        if self.path == "/api/tags":
            if "tags_raw" in SCENARIO:
                return self.reply(SCENARIO["tags_raw"])
            return self.reply(json.dumps({"models": [{"model": m["model"], "name": m["model"]}
                                                     for m in SCENARIO.get("models", [])]}))
        self.send_error(404)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
        self.record(body)
        if self.path == "/api/show":
            name = json.loads(body)["model"]
            for m in SCENARIO.get("models", []):
                if m["model"] == name:
                    return self.reply(json.dumps({"capabilities": m.get("capabilities", [])}))
            return self.reply(json.dumps({"error": "model not found"}))
        if self.path == "/api/generate":
            answer = ANSWERS.pop(0) if ANSWERS else {"response": "ok", "context": [1]}
            if answer.get("close"):
                self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n{\"resp")
                self.wfile.flush()
                self.close_connection = True
                return
            if answer.get("garbage"):
                self.wfile.write(b"HTTP/1.1 200 OK\r\n\r\n{\"response\":\"x\"}")
                self.wfile.flush()
                return
            if "bytes" in answer:
                return self.reply(bytes(answer["bytes"]))
            message = {"model": json.loads(body)["model"], "response": answer["response"], "done": True}
            if "context" in answer:
                message["context"] = answer["context"]
            return self.reply(json.dumps(message))
        self.send_error(404)


ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
