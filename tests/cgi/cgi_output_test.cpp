#include "cgi/cgi_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

#include "engine/http_records.h"
#include "platform/tcp_connection.h"

namespace tamsel {
namespace {

// A response record writing into one end of a socket pair; the other end
// shows the bytes that SendHeader put on the wire.
class ResponseOnPair {
 public:
  ResponseOnPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    connection_ = std::make_unique<TTCPConnection>(UniqueFd(fds[0]));
    peer_.Reset(fds[1]);
    response = std::make_unique<THTTPResponseInfo>(connection_.get());
  }
  // Everything written so far.
  std::string Wire() {
    connection_->Disconnect();
    std::string bytes;
    char buffer[4096];
    ssize_t got;
    while ((got = recv(peer_.Get(), buffer, sizeof buffer, 0)) > 0) bytes.append(buffer, static_cast<size_t>(got));
    return bytes;
  }

  std::unique_ptr<THTTPResponseInfo> response;

 private:
  std::unique_ptr<TTCPConnection> connection_;
  UniqueFd peer_;
};

TEST(CGIOutput, HeaderBlockBecomesStatusTypeHeaderLinesAndBody) {
  struct Case {
    const char* name;
    std::string output;
    int status;
    std::string contentType;
    std::string wire;  // what SendHeader wrote
    std::string body;
  };
  const std::string nulBody("a\0b\r\n\r\n\xff", 8);
  const Case cases[] = {
      {"php style",
       "Status: 404 Not Found\r\nContent-type: text/html; charset=UTF-8\r\n\r\nmissing", 404,
       "text/html; charset=UTF-8",
       "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Type: text/html; charset=UTF-8\r\n"
       "Status: 404 Not Found\r\nContent-type: text/html; charset=UTF-8\r\n\r\n",
       "missing"},
      {"location beats status", "Status: 301\r\nLocation: /elsewhere\r\n\r\n", 302, "",
       "HTTP/1.1 302 Moved Temporarily\r\nStatus: 301\r\nLocation: /elsewhere\r\n\r\n", ""},
      {"location without blank", "Location:/x\r\n\r\n", 302, "",
       "HTTP/1.1 302 Moved Temporarily\r\nLocation:/x\r\n\r\n", ""},
      {"empty location is no redirect", "Location: \r\nContent-Type: a/b\r\n\r\n", 200, "a/b",
       "HTTP/1.1 200 OK\r\nContent-Type: a/b\r\nLocation: \r\nContent-Type: a/b\r\n\r\n", ""},
      {"type without blank is not read", "Content-Type:text/html\r\n\r\nx", 200, "",
       "HTTP/1.1 200 OK\r\nContent-Type:text/html\r\n\r\n", "x"},
      {"unreadable status gives 200", "Status: abc\r\n\r\n", 200, "",
       "HTTP/1.1 200 OK\r\nStatus: abc\r\n\r\n", ""},
      {"unknown status code", "Status: 299 Odd\r\nX-A: 1\r\nSet-Cookie: k=v\r\n\r\n", 299, "",
       "HTTP/1.1 299 Unknown Response Code\r\nStatus: 299 Odd\r\nX-A: 1\r\nSet-Cookie: k=v\r\n\r\n", ""},
      {"error text first", "warning here\nContent-Type: text/plain\r\n\r\nok", 200, "text/plain",
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nwarning here\r\nContent-Type: text/plain\r\n\r\n", "ok"},
      {"body bytes untouched", "Content-Type: x/y\r\n\r\n" + nulBody, 200, "x/y",
       "HTTP/1.1 200 OK\r\nContent-Type: x/y\r\nContent-Type: x/y\r\n\r\n", nulBody},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResponseOnPair pair;
    THTTPResponseInfo& response = *pair.response;
    // Only the lines the child's output produces.
    response.ContentType.clear();
    response.Connection.clear();
    response.Server.clear();
    TranslateCGIOutput(c.output, response);
    EXPECT_EQ(response.StatusCode, c.status);
    EXPECT_EQ(response.ContentType, c.contentType);
    EXPECT_TRUE(response.HeaderWritten);
    EXPECT_EQ(response.BodyText, c.body);
    EXPECT_EQ(response.ContentLength, -1);
    EXPECT_EQ(pair.Wire(), c.wire);
  }
}

TEST(CGIOutput, WithoutBlankLineOnlyTheContentTypeChanges) {
  for (const std::string output : {"", "no header at all", "Content-Type: text/plain\r\n\nbody\n\n",
                                   "Status: 404\r\n"}) {
    SCOPED_TRACE(output);
    ResponseOnPair pair;
    THTTPResponseInfo& response = *pair.response;
    response.ContentType = "text/plain";
    TranslateCGIOutput(output, response);
    EXPECT_EQ(response.ContentType, "text/html");
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.BodyText, "");
    EXPECT_FALSE(response.HeaderWritten);
    EXPECT_EQ(pair.Wire(), "");
  }
}

TEST(CGIOutput, FailureReplyIsA500WithTheMessageAndNothingSent) {
  ResponseOnPair pair;
  THTTPResponseInfo& response = *pair.response;
  CGIFailureReply("<p>gone</p>\r\n", response);
  EXPECT_EQ(response.StatusCode, 500);
  EXPECT_EQ(response.StatusText, "Internal Server Error");
  EXPECT_EQ(response.BodyText, "<p>gone</p>\r\n");
  EXPECT_EQ(response.ContentLength, 13);
  EXPECT_FALSE(response.HeaderWritten);
  EXPECT_EQ(pair.Wire(), "");
}

}  // namespace
}  // namespace tamsel
