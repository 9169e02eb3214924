// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/rest_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "test_server.h"

namespace Webwire {
namespace {

using webwire_test::Pattern;
using webwire_test::routed_server;

/// Collects the body and the size of each piece it was offered; refuses a byte of the
/// piece numbered `shortAt` (counting from 0) when that is set.
class recording_writer : public memory_data_writer {
 public:
  int write(const std::uint8_t* data, unsigned count) override {
    pieces.push_back(count);
    if (pieces.size() - 1 == shortAt) return static_cast<int>(count) - 1;
    return memory_data_writer::write(data, count);
  }
  std::vector<unsigned> pieces;
  std::size_t shortAt = SIZE_MAX;
};

/// A body that must be streamed: not whole, handed out through read() only.
class streamed_provider : public data_provider {
 public:
  explicit streamed_provider(std::string text, std::uint64_t claimed = 0)
      : text_(std::move(text)), claimed_(claimed != 0 ? claimed : text_.size()) {}
  std::uint64_t size() override { return claimed_; }
  std::uint64_t read(std::uint8_t* buffer, std::uint64_t count) override {
    largestAsk = std::max(largestAsk, count);
    const std::uint64_t n = std::min<std::uint64_t>(count, text_.size() - position_);
    std::copy_n(text_.data() + position_, n, buffer);
    position_ += n;
    return n;
  }
  bool whole() override { return false; }
  data_block block() override { return {}; }
  std::uint64_t largestAsk = 0;

 private:
  std::string text_;
  std::uint64_t claimed_;
  std::uint64_t position_ = 0;
};

struct progress_log {
  std::vector<std::pair<std::uint64_t, std::int64_t>> calls;
  int answer = 0;
  progress_callback callback() {
    return [this](std::uint64_t done, std::int64_t total, std::int64_t flag) {
      EXPECT_EQ(flag, 0);
      calls.emplace_back(done, total);
      return answer;
    };
  }
};

class RestClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    client_.agent = "REST";
    ASSERT_EQ(client_.Connect("127.0.0.1", false, Port()), S_OK);
  }
  void TearDown() override {
    server_.Release();
    client_ = rest_client();  // closes its connections, so the server stops at once
    server_.Stop();
  }
  std::uint16_t Port() const { return static_cast<std::uint16_t>(server_.port()); }

  HRESULT Get(rest_client& client, const std::string& path, handle& request) {
    memory_data_provider empty;
    return client.OpenRequest(request, path, empty, "GET");
  }
  std::string GetText(rest_client& client, const std::string& path) {
    handle request;
    memory_data_writer writer;
    EXPECT_EQ(Get(client, path, request), S_OK) << path;
    EXPECT_EQ(client.ReadResponse(request, writer), S_OK) << path;
    return writer.text();
  }

  routed_server server_;
  rest_client client_;
};

TEST_F(RestClientTest, ReadsTheBodyInPiecesWithTheStatedTotal) {
  struct row {
    const char* path;
    std::int64_t total;
  };
  for (const row& r : {row{"/sized?size=25000", 25000}, row{"/chunked?size=25000", -1}}) {
    SCOPED_TRACE(r.path);
    handle request;
    ASSERT_EQ(Get(client_, r.path, request), S_OK);
    EXPECT_EQ(StatusCode(request), 200);
    recording_writer writer;
    progress_log progress;
    ASSERT_EQ(client_.ReadResponse(request, writer, progress.callback()), S_OK);
    EXPECT_EQ(writer.text(), Pattern(25000));
    EXPECT_LE(*std::max_element(writer.pieces.begin(), writer.pieces.end()), 10000u);
    ASSERT_EQ(progress.calls.size(), writer.pieces.size());
    EXPECT_EQ(progress.calls.back().first, 25000u);
    for (const auto& call : progress.calls) EXPECT_EQ(call.second, r.total);
  }
}

TEST_F(RestClientTest, WriterTakingFewerBytesFailsTheRead) {
  handle request;
  ASSERT_EQ(Get(client_, "/chunked?size=25000", request), S_OK);
  recording_writer writer;
  writer.shortAt = 0;
  EXPECT_EQ(client_.ReadResponse(request, writer), E_FAIL);
  EXPECT_EQ(writer.pieces.size(), 1u);
}

TEST_F(RestClientTest, NegativeProgressAbortsTheRead) {
  handle request;
  ASSERT_EQ(Get(client_, "/sized?size=25000", request), S_OK);
  recording_writer writer;
  progress_log progress;
  progress.answer = -1;
  EXPECT_EQ(client_.ReadResponse(request, writer, progress.callback()), E_ABORT);
  EXPECT_EQ(progress.calls.size(), 1u);
  EXPECT_EQ(writer.pieces.size(), 1u);
}

TEST_F(RestClientTest, PostToAFullUrlAddsHeadersOneByOne) {
  rest_client client;
  client.agent = "REST";
  handle request;
  const std::vector<std::string> headers = {"X-First: one", "X-Second: two\r\n", "",
                                            "x-first: replaced", "X-Third: 3\r\nX-Fourth: 4"};
  ASSERT_EQ(client.Post(request, server_.url("/echo?q=1"), headers, "payload"), S_OK);
  memory_data_writer writer;
  ASSERT_EQ(client.ReadResponse(request, writer), S_OK);
  EXPECT_EQ(StatusCode(request), 201);
  EXPECT_EQ(writer.text(), "payload");

  const auto seen = server_.Last();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.body, "payload");
  EXPECT_EQ(seen.headers.count("X-First"), 1u);
  const std::pair<const char*, const char*> expected[] = {
      {"X-First", "replaced"}, {"X-Second", "two"},    {"X-Third", "3"},
      {"X-Fourth", "4"},       {"User-Agent", "REST"}, {"Content-Length", "7"}};
  for (const auto& [name, value] : expected) {
    auto it = seen.headers.find(name);
    ASSERT_NE(it, seen.headers.end()) << name;
    EXPECT_EQ(it->second, value) << name;
  }
  // Nothing the caller did not ask for.
  EXPECT_EQ(seen.headers.count("Content-Type"), 0u);
  EXPECT_EQ(seen.headers.count("Expect"), 0u);
  // The URL's own port was used, and the client now stays bound to that server.
  EXPECT_EQ(client.server, "127.0.0.1");
  EXPECT_EQ(client.port, Port());
  EXPECT_EQ(GetText(client, "/port").empty(), false);
}

TEST_F(RestClientTest, StreamsALargeBodyIn4096BytePieces) {
  const std::string body = Pattern(2 * 4096 + 123);
  streamed_provider provider(body);
  progress_log progress;
  handle request;
  ASSERT_EQ(client_.OpenRequest(request, "/echo", provider, "PUT", {}, progress.callback()), S_OK);
  memory_data_writer writer;
  ASSERT_EQ(client_.ReadResponse(request, writer), S_OK);
  EXPECT_EQ(writer.text(), body);
  const auto seen = server_.Last();
  EXPECT_EQ(seen.method, "PUT");
  EXPECT_EQ(seen.body, body);
  EXPECT_EQ(provider.largestAsk, 4096u);
  const std::vector<std::pair<std::uint64_t, std::int64_t>> expected = {
      {4096, 8315}, {8192, 8315}, {8315, 8315}};
  EXPECT_EQ(progress.calls, expected);
}

TEST_F(RestClientTest, StreamedUploadStopsOnNegativeProgressOrShortProvider) {
  {
    streamed_provider provider(Pattern(10000));
    progress_log progress;
    progress.answer = -1;
    handle request;
    EXPECT_EQ(client_.OpenRequest(request, "/echo", provider, "POST", {}, progress.callback()),
              E_ABORT);
    EXPECT_FALSE(request);
    EXPECT_EQ(progress.calls.size(), 1u);
  }
  {
    // Claims more than it holds: the request fails instead of leaving the server waiting.
    streamed_provider provider(Pattern(5000), 20000);
    handle request;
    EXPECT_EQ(client_.OpenRequest(request, "/echo", provider, "POST"), E_FAIL);
    EXPECT_FALSE(request);
  }
}

TEST_F(RestClientTest, HttpErrorStatusesArriveAsBodies) {
  for (int status : {404, 500}) {
    SCOPED_TRACE(status);
    handle request;
    ASSERT_EQ(Get(client_, "/status/" + std::to_string(status), request), S_OK);
    EXPECT_EQ(StatusCode(request), status);
    memory_data_writer writer;
    EXPECT_EQ(client_.ReadResponse(request, writer), S_OK);
    EXPECT_EQ(writer.text(), "status " + std::to_string(status));
  }
}

TEST_F(RestClientTest, ConnectionIsReusedForTheSameServerInAnyLetterCase) {
  rest_client client;
  ASSERT_EQ(client.Connect("localhost", false, Port()), S_OK);
  const handle first = client.connection;
  const std::string firstPort = GetText(client, "/port");

  ASSERT_EQ(client.Connect("LocalHOST", false, Port()), S_OK);
  EXPECT_EQ(client.connection, first);
  EXPECT_EQ(GetText(client, "/port"), firstPort);  // the same TCP connection

  ASSERT_EQ(client.Connect("127.0.0.1", false, Port()), S_OK);
  EXPECT_NE(client.connection, first);
  EXPECT_NE(GetText(client, "/port"), firstPort);
}

TEST_F(RestClientTest, SameNameOnAnotherPortIsAnotherConnection) {
  rest_client client;
  ASSERT_EQ(client.Connect("127.0.0.1", false, Port()), S_OK);
  const handle first = client.connection;
  ASSERT_EQ(client.Connect("127.0.0.1", false, webwire_test::UnusedPort()), S_OK);
  EXPECT_NE(client.connection, first);
  handle request;
  EXPECT_EQ(Get(client, "/port", request), E_INTERNET_CANNOT_CONNECT);
}

TEST_F(RestClientTest, FollowsRedirects) {
  handle request;
  ASSERT_EQ(Get(client_, "/redirect", request), S_OK);
  EXPECT_EQ(StatusCode(request), 200);
  memory_data_writer writer;
  EXPECT_EQ(client_.ReadResponse(request, writer), S_OK);
  EXPECT_EQ(writer.text(), Pattern(10));
}

TEST_F(RestClientTest, WholeBodyTimeoutEndsAStalledRequest) {
  client_.wholeBodyTimeout = std::chrono::milliseconds(200);
  handle request;
  EXPECT_EQ(client_.Post(request, "/stall", {}, "x"), E_INTERNET_TIMEOUT);
  EXPECT_FALSE(request);
}

TEST_F(RestClientTest, GetToAFullUrlIsSentAsItStands) {
  memory_data_provider empty;
  handle request;
  ASSERT_EQ(client_.OpenRequest(request, server_.url("/echo"), empty, "GET", {"X-Extra: 1"}), S_OK);
  memory_data_writer writer;
  EXPECT_EQ(client_.ReadResponse(request, writer), S_OK);
  EXPECT_EQ(server_.Last().method, "GET");
  EXPECT_EQ(server_.Last().headers.count("X-Extra"), 0u);
  // It leaves no connection behind for relative paths.
  EXPECT_FALSE(client_.connection);
  EXPECT_EQ(Get(client_, "/port", request), E_UNEXPECTED);
}

TEST(RestClientErrorsTest, RefusesMisuseWithClearCodes) {
  rest_client client;
  memory_data_provider empty;
  handle request;
  EXPECT_EQ(client.OpenRequest(request, "/x", empty, "GET"), E_UNEXPECTED);
  EXPECT_EQ(client.Connect("bad/name", false), E_INVALIDARG);
  ASSERT_EQ(client.Connect("127.0.0.1", false, 1), S_OK);
  EXPECT_EQ(client.OpenRequest(request, "", empty, "GET"), E_INVALIDARG);
  EXPECT_EQ(client.OpenRequest(request, "/x", empty, "GET /y"), E_INVALIDARG);
  EXPECT_EQ(client.OpenRequest(request, "http://", empty, "POST"), E_INTERNET_INVALID_URL);
  EXPECT_FALSE(request);
  memory_data_writer writer;
  EXPECT_EQ(client.ReadResponse(request, writer), E_FAIL);
  EXPECT_EQ(client.ReadResponse(client.connection, writer), E_FAIL);
}

TEST(RestClientErrorsTest, ServerNotListeningFailsAtOnce) {
  rest_client client;
  ASSERT_EQ(
      client.Connect("127.0.0.1", false, static_cast<std::uint16_t>(webwire_test::UnusedPort())),
      S_OK);
  handle request;
  EXPECT_EQ(client.Post(request, "/api/show", {"Content-Type: application/json"}, "{}"),
            E_INTERNET_CANNOT_CONNECT);
  EXPECT_FALSE(request);
  memory_data_writer writer;
  EXPECT_EQ(client.ReadResponse(request, writer), E_FAIL);
  EXPECT_EQ(writer.size(), 0u);
}

}  // namespace
}  // namespace Webwire
