// Cookies in both directions: the cookie classes with their texts, and the
// ordered collections a request reads into and a response sends from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

enum class TCookieFlavor : uint8_t { NetscapeForm = 0, Rfc2109Form = 1 };

// The base form: name, value, path, expires, domain, secure.
class TNetscapeCookie {
 public:
  TNetscapeCookie() = default;
  virtual ~TNetscapeCookie() = default;
  TNetscapeCookie(const TNetscapeCookie&) = delete;
  TNetscapeCookie& operator=(const TNetscapeCookie&) = delete;

  std::string SourceText;  // the text last parsed
  std::string Domain;
  std::string ExpiresText;  // the expiry as written, not a date value
  std::string Name;
  std::string Path;
  bool Secure = false;
  std::string Value;
  TCookieFlavor Flavor = TCookieFlavor::NetscapeForm;

  // Reads "name=value; attr=value; flag" (or the same one per line); parsing
  // the text last parsed again changes nothing.
  void ParseText(const std::string& text);

  virtual std::string ComposeText();
  virtual void SetExpiry(const std::string& text);
  // The text of a "Set-Cookie: " line.
  virtual std::string ServerText();
  // Takes path, expiry, domain and secure from the attribute pieces (names upper-cased).
  virtual void ApplyAttributes(const std::vector<std::string>& pieces);
};

// The RFC 2109 form: adds max-age, version and comment.
class TCookieRFC2109 : public TNetscapeCookie {
 public:
  TCookieRFC2109() { Flavor = TCookieFlavor::Rfc2109Form; }

  int64_t MaxAge = -1;  // seconds; -1 = none
  std::string Version;
  std::string Comment;

  std::string ComposeText() override;
  // Also recomputes MaxAge from a readable expiry date.
  void SetExpiry(const std::string& text) override;
  void ApplyAttributes(const std::vector<std::string>& pieces) override;
};

// The server form: a MaxAge of 0 or more is written as a GMT expires date.
class TServerCookie : public TCookieRFC2109 {
 public:
  TServerCookie() { Flavor = TCookieFlavor::NetscapeForm; }
  std::string ComposeText() override;
};

// An ordered collection of cookies, each owned by it.
class TCookies {
 public:
  TCookies() = default;
  virtual ~TCookies() = default;
  TCookies(TCookies&&) noexcept = default;
  TCookies& operator=(TCookies&&) noexcept = default;
  TCookies(const TCookies&) = delete;
  TCookies& operator=(const TCookies&) = delete;

  size_t Count() const { return items_.size(); }
  TCookieRFC2109& CookieAt(size_t index) { return *items_.at(index); }
  const TCookieRFC2109& CookieAt(size_t index) const { return *items_.at(index); }
  TCookieRFC2109& AddCookie();
  // AddCookie, then ParseText of the text on it.
  TCookieRFC2109& AddFromText(const std::string& text);
  // The index of the first cookie at or after `firstIndex` named `name`
  // (letter case ignored); -1 when none.
  int FindFrom(int firstIndex, std::string_view name) const;
  void Clear() { items_.clear(); }

 protected:
  std::vector<std::unique_ptr<TCookieRFC2109>> items_;
};

// The collection of a request or response: can also make server cookies.
class TServerCookies : public TCookies {
 public:
  TServerCookie& AddServerCookie();
};

// Adds one cookie per ";"-separated piece of each "Cookie" header value, in order.
void ReadRequestCookies(const std::vector<std::string>& cookieValues, TServerCookies& cookies);

}  // namespace tamsel
