// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include "ollama/http_reply.h"
#include "ollama/ollama.h"

namespace {

using Bodies = std::vector<std::string>;

TEST(EscapeJsonStringTest, EscapesByteByByte) {
  EXPECT_EQ(EscapeJsonString("say \"hi\"\\ now\n\t\r\b\f\x01\x1f é ✓"),
            "say \\\"hi\\\"\\\\ now\\n\\t\\r\\b\\f\\u0001\\u001F é ✓");
}

TEST(ExtractRepliesTest, ReadsLengthFramedAndChunkedReplies) {
  struct Case {
    std::string buffer;
    Bodies bodies;
    std::string left;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
  const Case cases[] = {
      {head + "Content-Length: 2\r\n\r\n{}", {"{}"}, ""},
      {head + "content-length: 2\r\n\r\n{}" + head + "Content-Length: 1\r\n\r\n7", {"{}", "7"}, ""},
      {head + "Content-Length: 5\r\n\r\n{}", {}, head + "Content-Length: 5\r\n\r\n{}"},
      {head + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", {"{}"}, ""},
      {head + "Transfer-Encoding: chunked\r\n\r\n3\r\n{\"a\r\n4\r\n\":1}\r\n0\r\n\r\nrest",
       {"{\"a\":1}"}, "rest"},
      {head + "Transfer-Encoding: chunked\r\n\r\n3\r\n{\"a\r\n", {},
       head + "Transfer-Encoding: chunked\r\n\r\n3\r\n{\"a\r\n"},
      {"HTTP/1.1 200", {}, "HTTP/1.1 200"},
  };
  for (const Case& c : cases) {
    std::string buffer = c.buffer;
    Bodies bodies;
    EXPECT_TRUE(ExtractReplies(buffer, bodies)) << c.buffer;
    EXPECT_EQ(bodies, c.bodies) << c.buffer;
    EXPECT_EQ(buffer, c.left) << c.buffer;
  }
}

TEST(ExtractRepliesTest, RefusesRepliesThatCannotBeFollowed) {
  for (std::string buffer : {"HTTP/1.1 200 OK\r\n\r\n{\"response\":\"x\"}",
                             "HTTP/1.1 200 OK\r\nContent-Length: x1\r\n\r\n",
                             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
    Bodies bodies;
    EXPECT_FALSE(ExtractReplies(buffer, bodies)) << buffer;
  }
}

TEST(OllamaServerTest, FollowsTheServersOwnVariable) {
  unsetenv("OLLAMA_HOST");
  EXPECT_EQ(OllamaServer().host, "localhost");
  EXPECT_EQ(OllamaServer().port, 11434);
  setenv("OLLAMA_HOST", "127.0.0.1:5000", 1);
  EXPECT_EQ(OllamaServer().host, "127.0.0.1");
  EXPECT_EQ(OllamaServer().port, 5000);
  setenv("OLLAMA_HOST", "http://box", 1);
  EXPECT_EQ(OllamaServer().host, "box");
  EXPECT_EQ(OllamaServer().port, 11434);
  unsetenv("OLLAMA_HOST");
}

}  // namespace
