#include "cgi/cgi_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/http_records.h"

namespace tamsel {
namespace {

using Entries = std::vector<std::string>;

// Sets (or unsets) a variable of this process for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class CGIEnvironmentTest : public ::testing::Test {
 protected:
  CGIEnvironmentTest()
      : systemRoot_("SystemRoot", nullptr),
        comspec_("COMSPEC", "/bin/sh"),
        windir_("WINDIR", nullptr),
        path_("PATH", "/usr/bin:/bin") {
    input.ServerSoftware = &software;
    input.PHPIniPath = "/etc/php/8.2/cgi";
    input.ServerAdmin = "admin@example.org";
    input.ScriptPath = "/usr/bin/php-cgi";
    input.DocumentRoot = "/srv/www";
    input.LocalAddress = "127.0.0.1";
    input.LocalPort = 8080;
    input.RemoteHost = "localhost";
    request.Method = "GET";
    request.RequestPath = "/docs/page.php";
    request.ProtocolVersion = "HTTP/1.1";
    request.ClientAddress = "127.0.0.1";
    request.ParamText = "x=1";
    request.QueryText = "x=1";
    request.Host = "localhost:8080";
    for (const char* line : {"Host: localhost:8080", "cache-control: no-cache", "Date: Tue, 1 Jan 2030",
                             "Accept: */*", "User-Agent: probe/1.0", "Cookie: a=1; b=2",
                             "Content-Type: text/plain", "Content-Length: 3", "If-Modified-Since: ims",
                             "Authorization: Basic YTpi", "Connection: keep-alive", "Accept-Language: de",
                             "Accept-Encoding: gzip", "From: me@example.org", "Title: t", "Derived-From: d",
                             "Expires: e", "Content-Encoding: ce", "Content-Version: cv"})
      request.HeaderLines.Add(line);
  }

  std::string software = "TestServer/1.0";
  TCGIEnvironmentInput input;
  THTTPRequestInfo request;

 private:
  ScopedVariable systemRoot_, comspec_, windir_, path_;
};

const Entries kFullGet = {
    "SERVER_SOFTWARE=TestServer/1.0",
    "HTTP_CONTENT_TYPE=text/plain",
    "CONTENT_TYPE=text/plain",
    "URL=/docs/page.php",
    "PHPRC=/etc/php/8.2/cgi",
    "REDIRECT_STATUS=200",
    "HTTP_REDIRECT_STATUS=200",
    "REDIRECT_URL=/docs/page.php",
    "CONTENT_LENGTH=3",
    "HTTP_CONTENT_LENGTH=3",
    "SERVER_NAME=localhost:8080",
    "SERVER_PROTOCOL=HTTP/1.1",
    "SERVER_PORT=8080",
    "GATEWAY_INTERFACE=CGI/1.1",
    "REQUEST_METHOD=GET",
    "SCRIPT_NAME=/docs/page.php",
    "QUERY_STRING=x=1",
    "REMOTE_ADDR=127.0.0.1",
    "REMOTE_HOST=localhost",
    "SystemRoot=",
    "COMSPEC=/bin/sh",
    "WINDIR=",
    "PATH=/usr/bin:/bin",
    "PATH_INFO=/docs/page.php",
    "REQUEST_URI=/docs/page.php",
    "PATH_TRANSLATED=/srv/www/docs/page.php",
    "SCRIPT_FILENAME=/usr/bin/php-cgi",
    "HTTP_DATE=Tue, 1 Jan 2030",
    "HTTP_CACHE_CONTROL=no-cache",
    "HTTP_ACCEPT=*/*",
    "HTTP_FROM=me@example.org",
    "HTTP_HOST=localhost:8080",
    "HTTP_IF_MODIFIED_SINCE=ims",
    "HTTP_REFERER=",
    "HTTP_CONTENT_ENCODING=ce",
    "HTTP_CONTENT_VERSION=cv",
    "HTTP_DERIVED_FROM=d",
    "HTTP_EXPIRES=e",
    "HTTP_TITLE=t",
    "HTTP_CONNECTION=keep-alive",
    "HTTP_AUTHORIZATION=Basic YTpi",
    "HTTP_ACCEPT_LANGUAGE=de",
    "HTTP_ACCEPT_ENCODING=gzip",
    "HTTP_USER_AGENT=probe/1.0",
    "HTTP_COOKIE=a=1; b=2",
    "SERVER_ADDR=127.0.0.1",
    "DOCUMENT_ROOT=/srv/www",
    "SERVER_ADMIN=admin@example.org",
};

// `base` with the entries named in `changes` replaced (value given) or removed (nullptr).
Entries Changed(Entries base, std::initializer_list<std::pair<const char*, const char*>> changes) {
  for (const auto& [name, value] : changes) {
    std::string prefix = std::string(name) + "=";
    auto at = std::find_if(base.begin(), base.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    if (at == base.end()) {
      ADD_FAILURE() << "no entry " << name;
      continue;
    }
    if (value == nullptr)
      base.erase(at);
    else
      *at = prefix + value;
  }
  return base;
}

TEST_F(CGIEnvironmentTest, EveryVariableInItsOrder) {
  Entries entries = BuildCGIEnvironment(input, request);
  EXPECT_EQ(entries, kFullGet);
  std::string block = CGIEnvironmentBlock(entries);
  std::string expected;
  for (const std::string& entry : kFullGet) expected += entry + '\0';
  expected += '\0';
  EXPECT_EQ(block, expected);
  EXPECT_EQ(block.substr(block.size() - 2), std::string(2, '\0'));
}

TEST_F(CGIEnvironmentTest, SettingsAndRequestKindsChangeOnlyTheirEntries) {
  struct Case {
    const char* name;
    void (*prepare)(TCGIEnvironmentInput&, THTTPRequestInfo&);
    Entries expected;
  };
  const Case cases[] = {
      {"no server linked", [](TCGIEnvironmentInput& in, THTTPRequestInfo&) { in.ServerSoftware = nullptr; },
       Changed(kFullGet, {{"SERVER_SOFTWARE", nullptr}})},
      {"no PHP support", [](TCGIEnvironmentInput& in, THTTPRequestInfo&) { in.PHPSupport = false; },
       Changed(kFullGet, {{"PHPRC", nullptr}, {"REDIRECT_STATUS", nullptr}, {"HTTP_REDIRECT_STATUS", nullptr},
                          {"REDIRECT_URL", nullptr}})},
      {"POST keeps its query only",
       [](TCGIEnvironmentInput&, THTTPRequestInfo& r) {
         r.Method = "POST";
         r.FormText = "a=1&b=2";
         r.ParamText = "a=1&b=2&x=1";
       },
       Changed(kFullGet, {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "x=1"}})},
      {"POST without query",
       [](TCGIEnvironmentInput&, THTTPRequestInfo& r) {
         r.Method = "POST";
         r.ParamText = "a=1";
         r.QueryText.clear();
       },
       Changed(kFullGet, {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", ""}})},
      {"program with extra path",
       [](TCGIEnvironmentInput& in, THTTPRequestInfo& r) {
         in.PHPSupport = false;
         in.ScriptPath = "/srv/www/cgi-bin/prog.EXE";
         r.RequestPath = "/cgi-bin/prog.EXE/extra";
       },
       Changed(kFullGet, {{"PHPRC", nullptr},
                          {"REDIRECT_STATUS", nullptr},
                          {"HTTP_REDIRECT_STATUS", nullptr},
                          {"REDIRECT_URL", nullptr},
                          {"URL", "/cgi-bin/prog.EXE"},
                          {"SCRIPT_NAME", "/cgi-bin/prog.EXE"},
                          {"PATH_INFO", "/cgi-bin/prog.EXE/extra"},
                          {"REQUEST_URI", "/cgi-bin/prog.EXE/extra"},
                          {"PATH_TRANSLATED", "/srv/www/cgi-bin/prog.EXE/extra"},
                          {"SCRIPT_FILENAME", "/srv/www/cgi-bin/prog.EXE"}})},
      {"mixed-case exe keeps its letters",
       [](TCGIEnvironmentInput&, THTTPRequestInfo& r) { r.RequestPath = "/cgi/Tool.eXe/a/b"; },
       Changed(kFullGet, {{"URL", "/cgi/Tool.eXe"},
                          {"REDIRECT_URL", "/cgi/Tool.eXe/a/b"},
                          {"SCRIPT_NAME", "/cgi/Tool.eXe"},
                          {"PATH_INFO", "/cgi/Tool.eXe/a/b"},
                          {"REQUEST_URI", "/cgi/Tool.eXe/a/b"},
                          {"PATH_TRANSLATED", "/srv/www/cgi/Tool.eXe/a/b"}})},
      {"path info given", [](TCGIEnvironmentInput& in, THTTPRequestInfo&) { in.PathInfo = "/given"; },
       Changed(kFullGet, {{"PATH_INFO", "/given"}})},
      {"root with dots and backslashes",
       [](TCGIEnvironmentInput& in, THTTPRequestInfo& r) {
         in.DocumentRoot = "/srv\\www/sub/..";
         r.RequestPath = "/a/../page.php";
       },
       Changed(kFullGet, {{"URL", "/a/../page.php"},
                          {"REDIRECT_URL", "/a/../page.php"},
                          {"SCRIPT_NAME", "/a/../page.php"},
                          {"PATH_INFO", "/a/../page.php"},
                          {"REQUEST_URI", "/a/../page.php"},
                          {"PATH_TRANSLATED", "/srv/www/page.php"},
                          {"DOCUMENT_ROOT", "/srv\\www/sub/.."}})},
      {"no headers at all", [](TCGIEnvironmentInput&, THTTPRequestInfo& r) { r.HeaderLines.Clear(); },
       Changed(kFullGet, {{"HTTP_CONTENT_TYPE", ""},      {"CONTENT_TYPE", ""},
                          {"CONTENT_LENGTH", ""},         {"HTTP_CONTENT_LENGTH", ""},
                          {"HTTP_DATE", ""},              {"HTTP_CACHE_CONTROL", ""},
                          {"HTTP_ACCEPT", ""},            {"HTTP_FROM", ""},
                          {"HTTP_HOST", ""},              {"HTTP_IF_MODIFIED_SINCE", ""},
                          {"HTTP_CONTENT_ENCODING", ""},  {"HTTP_CONTENT_VERSION", ""},
                          {"HTTP_DERIVED_FROM", ""},      {"HTTP_EXPIRES", ""},
                          {"HTTP_TITLE", ""},             {"HTTP_CONNECTION", ""},
                          {"HTTP_AUTHORIZATION", ""},     {"HTTP_ACCEPT_LANGUAGE", ""},
                          {"HTTP_ACCEPT_ENCODING", ""},   {"HTTP_USER_AGENT", ""},
                          {"HTTP_COOKIE", ""}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCGIEnvironmentInput in = input;
    THTTPRequestInfo r;
    r.Method = request.Method;
    r.RequestPath = request.RequestPath;
    r.ProtocolVersion = request.ProtocolVersion;
    r.ClientAddress = request.ClientAddress;
    r.ParamText = request.ParamText;
    r.QueryText = request.QueryText;
    r.Host = request.Host;
    r.HeaderLines.Assign(request.HeaderLines);
    c.prepare(in, r);
    EXPECT_EQ(BuildCGIEnvironment(in, r), c.expected);
  }
}

TEST_F(CGIEnvironmentTest, ServerVariablesThatAreUnsetGiveEmptyEntries) {
  ScopedVariable noPath("PATH", nullptr);
  ScopedVariable root("SystemRoot", "/sr");
  EXPECT_EQ(BuildCGIEnvironment(input, request),
            Changed(kFullGet, {{"PATH", ""}, {"SystemRoot", "/sr"}}));
}

TEST_F(CGIEnvironmentTest, NulInAHeaderValueCannotAddOrChangeAVariable) {
  request.HeaderLines.Clear();
  request.HeaderLines.Add(std::string("User-Agent: ua\0PATH=/evil\0SERVER_ADMIN=x", 40));
  request.HeaderLines.Add(std::string("Cookie: a\0REMOTE_ADDR=1.2.3.4", 30));
  Entries entries = BuildCGIEnvironment(input, request);
  EXPECT_EQ(entries.size(), kFullGet.size());
  for (const std::string& entry : entries) EXPECT_EQ(entry.find('\0'), std::string::npos) << entry;
  EXPECT_NE(std::find(entries.begin(), entries.end(), "HTTP_USER_AGENT=ua"), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "HTTP_COOKIE=a"), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "PATH=/usr/bin:/bin"), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "REMOTE_ADDR=127.0.0.1"), entries.end());
}

TEST(CGIHeaderLookup, ThreeStepsFindUnderscoreAndPrefixedKeys) {
  THTTPRequestInfo request;
  request.HeaderLines.Add("Cache-Control: no-store");
  request.HeaderLines.Add("X_Odd: under");
  request.HeaderLines.Add("Accept-Charset: latin1");
  request.HeaderLines.Add("HTTP_DIRECT:  as named ");
  struct Case {
    const char *key, *value;
  } cases[] = {
      {"CACHE_CONTROL", "no-store"},     // third step: "_" to "-"
      {"X_ODD", "under"},                // first step: as named
      {"HTTP_ACCEPT_CHARSET", "latin1"},  // prefix dropped, then "_" to "-"
      {"HTTP_DIRECT", "as named"},       // first step, blanks trimmed by the list
      {"REFERER", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CGIHeaderLookup(request, c.key), c.value) << c.key;
}

TEST(CGIScriptName, CutsAfterTheFirstExe) {
  struct Case {
    const char *path, *name;
  } cases[] = {
      {"/a.php", "/a.php"},
      {"/cgi-bin/prog.EXE/extra", "/cgi-bin/prog.EXE"},
      {"/x.exe.exe/y", "/x.exe"},
      {"/exe/plain", "/exe/plain"},
      {"/a.exefile", "/a.exe"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CGIScriptName(c.path), c.name) << c.path;
}

}  // namespace
}  // namespace tamsel
