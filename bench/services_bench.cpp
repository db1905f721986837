// Per-call cost of the engine services on the request path: reading an HTTP
// date, looking up a MIME type, and splitting a request's Cookie header.
#include <benchmark/benchmark.h>

#include "engine/cookies.h"
#include "engine/http_date.h"
#include "engine/mime_table.h"

namespace tamsel {
namespace {

void BM_ParseDateToLocal(benchmark::State& state) {
  const char* texts[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                         "Sun Nov  6 08:49:37 1994", "Wed, 09 Jun 2021 10:18:14 +0200"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseDateToLocal(texts[i++ & 3]));
  }
}
BENCHMARK(BM_ParseDateToLocal);

void BM_LookupMimeType(benchmark::State& state) {
  TMimeTable table;  // built-ins and the system store
  const char* files[] = {"/var/www/index.html", "/var/www/img/logo.png", "/var/www/js/app.js",
                         "/var/www/readme"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(table.LookupMimeType(files[i++ & 3]));
  }
}
BENCHMARK(BM_LookupMimeType);

void BM_ReadRequestCookies(benchmark::State& state) {
  const std::vector<std::string> header = {
      "IDHTTPSESSIONID=5F3A9C1E27B04D68; lang=de; theme=dark; _ga=GA1.2.1234567890.1600000000; "
      "consent=yes"};
  for (auto _ : state) {
    TServerCookies cookies;
    ReadRequestCookies(header, cookies);
    benchmark::DoNotOptimize(cookies.FindFrom(0, "idhttpsessionid"));
  }
}
BENCHMARK(BM_ReadRequestCookies);

}  // namespace
}  // namespace tamsel
