// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/url.h"

#include <gtest/gtest.h>

namespace Webwire {
namespace {

TEST(ParseUrlTest, SplitsSchemeHostPortAndTarget) {
  struct row {
    const char* url;
    bool secure;
    const char* host;
    std::uint16_t port;
    const char* target;
  };
  const row rows[] = {
      {"http://example.com/a/b?c=1&d=2", false, "example.com", 80, "/a/b?c=1&d=2"},
      {"HTTPS://example.com", true, "example.com", 443, "/"},
      {"http://127.0.0.1:8080/api/show", false, "127.0.0.1", 8080, "/api/show"},
      {"https://[::1]:9443/x#fragment", true, "::1", 9443, "/x"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.url);
    auto parts = ParseUrl(r.url);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->secure, r.secure);
    EXPECT_EQ(parts->host, r.host);
    EXPECT_EQ(parts->port, r.port);
    EXPECT_EQ(parts->target, r.target);
  }
}

TEST(ParseUrlTest, RefusesWhatIsNoHttpUrl) {
  for (const char* url : {"", "/relative", "ftp://example.com/", "http://", "http://host:99999/",
                          "http://exa mple.com/"}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(ParseUrl(url));
  }
}

TEST(MakeOriginTest, BuildsOriginsAndRefusesSmuggledParts) {
  EXPECT_EQ(MakeOrigin("localhost", false, 0), "http://localhost:80");
  EXPECT_EQ(MakeOrigin("github.com", true, 0), "https://github.com:443");
  EXPECT_EQ(MakeOrigin("localhost", false, 11434), "http://localhost:11434");
  EXPECT_EQ(MakeOrigin("::1", false, 8), "http://[::1]:8");
  for (const char* bad : {"", "evil.com/path", "user@host", "host?x", "host name", "a\r\nb"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(MakeOrigin(bad, false, 0));
  }
}

TEST(HeaderLinesTest, SplitsLinesDropsEmptyOnesAndReplacesByName) {
  const std::vector<std::string> headers = {
      "Accept: application/json", "X-One: 1\r\n",  "",         "accept: text/plain",
      "X-Two: 2\r\nX-Three: 3",   "no colon here", ": no name"};
  const std::vector<std::string> expected = {"X-One: 1", "accept: text/plain", "X-Two: 2",
                                             "X-Three: 3"};
  const auto lines = HeaderLines(headers);
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(HasHeader(lines, "ACCEPT"));
  EXPECT_FALSE(HasHeader(lines, "Content-Type"));
}

TEST(VerbTest, OnlyTokensAreVerbs) {
  EXPECT_TRUE(IsValidVerb("GET"));
  EXPECT_TRUE(IsValidVerb("M-SEARCH"));
  for (const char* bad : {"", "GET /x", "PO\r\nST", "A:B"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsValidVerb(bad));
  }
}

}  // namespace
}  // namespace Webwire
