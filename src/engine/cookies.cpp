#include "engine/cookies.h"

#include "engine/http_date.h"
#include "platform/datetime.h"
#include "platform/string_list.h"
#include "platform/text.h"

namespace tamsel {

namespace {

// The part after the first "=" of the first piece whose name part is `name`.
std::string AttributeValue(const std::vector<std::string>& pieces, std::string_view name) {
  for (const std::string& piece : pieces) {
    size_t at = piece.find('=');
    if (at != std::string::npos && std::string_view(piece).substr(0, at) == name)
      return piece.substr(at + 1);
  }
  return {};
}

void AppendAttribute(std::string_view attribute, std::string_view value, std::string& text) {
  if (value.empty()) return;
  if (!text.empty()) text += "; ";
  text.append(attribute).append("=").append(value);
}

void AppendFlag(std::string_view word, std::string& text) {
  if (!text.empty()) text += "; ";
  text.append(word);
}

}  // namespace

void TNetscapeCookie::ParseText(const std::string& text) {
  if (text == SourceText) return;
  SourceText = text;

  std::vector<std::string> pieces;
  if (text.find(';') != std::string::npos) {
    std::string rest = text;
    while (rest.find(';') != std::string::npos) pieces.push_back(Trim(SplitAtFirst(rest, ";")));
    rest = Trim(rest);
    if (!rest.empty()) pieces.push_back(std::move(rest));
  } else {
    TStringList lines;
    lines.SetText(text);
    pieces = lines.Lines();
  }

  Name.clear();
  Value.clear();
  if (!pieces.empty()) {
    size_t at = pieces[0].find('=');
    if (at != std::string::npos) Name = pieces[0].substr(0, at);
    for (const std::string& piece : pieces) {
      size_t eq = piece.find('=');
      if (eq != std::string::npos && SameText(std::string_view(piece).substr(0, eq), Name)) {
        Value = piece.substr(eq + 1);
        break;
      }
    }
    pieces.erase(pieces.begin());
  }

  for (std::string& piece : pieces) {
    size_t at = piece.find('=');
    if (at == std::string::npos)
      piece = UpperCase(piece);
    else
      piece = UpperCase(std::string_view(piece).substr(0, at)) + piece.substr(at);
  }
  ApplyAttributes(pieces);
}

void TNetscapeCookie::ApplyAttributes(const std::vector<std::string>& pieces) {
  Path = AttributeValue(pieces, "PATH");
  if (!Path.empty() && Path.front() == '"') Path.erase(0, 1);
  if (!Path.empty() && Path.back() == '"') Path.pop_back();
  SetExpiry(AttributeValue(pieces, "EXPIRES"));
  Domain = AttributeValue(pieces, "DOMAIN");
  Secure = false;
  for (const std::string& piece : pieces)
    if (piece == "SECURE") Secure = true;
}

void TNetscapeCookie::SetExpiry(const std::string& text) { ExpiresText = text; }

std::string TNetscapeCookie::ComposeText() {
  std::string text;
  AppendAttribute(Name, Value, text);
  AppendAttribute("path", Path, text);
  if (Flavor == TCookieFlavor::NetscapeForm) AppendAttribute("expires", ExpiresText, text);
  AppendAttribute("domain", Domain, text);
  if (Secure) AppendFlag("secure", text);
  return text;
}

std::string TNetscapeCookie::ServerText() { return ComposeText(); }

void TCookieRFC2109::ApplyAttributes(const std::vector<std::string>& pieces) {
  TNetscapeCookie::ApplyAttributes(pieces);
  MaxAge = StrToIntDef(AttributeValue(pieces, "MAX-AGE"), -1);
  Version = AttributeValue(pieces, "VERSION");
  Comment = AttributeValue(pieces, "COMMENT");
  if (ExpiresText.empty()) {
    Flavor = TCookieFlavor::NetscapeForm;
    if (MaxAge >= 0)
      SetExpiry(FormatZonedDate(Now() + static_cast<double>(MaxAge) / kSecondsPerDay, false));
  }
}

void TCookieRFC2109::SetExpiry(const std::string& text) {
  if (!text.empty()) {
    try {
      double seconds = (ParseDateToLocal(text) - Now()) * kSecondsPerDay;
      MaxAge = static_cast<int64_t>(seconds);  // truncated toward zero
    } catch (const EEngineException&) {
      // No zone information: MaxAge stays as it was.
    }
  }
  ExpiresText = text;
}

std::string TCookieRFC2109::ComposeText() {
  std::string text = TNetscapeCookie::ComposeText();
  if (MaxAge >= 0 && ExpiresText.empty()) AppendAttribute("max-age", std::to_string(MaxAge), text);
  AppendAttribute("comment", Comment, text);
  AppendAttribute("version", Version, text);
  return text;
}

std::string TServerCookie::ComposeText() {
  if (MaxAge >= 0) {
    TDateTime utc = UtcNow() + static_cast<double>(MaxAge) / kSecondsPerDay;
    DateParts d = DecodeDate(utc);
    TimeParts t = DecodeTime(utc);
    ExpiresText = Format("%s, %d-%s-%d %s GMT", kDayNames[DayOfWeek(utc) - 1], d.day,
                         kMonthNames[d.month - 1], d.year,
                         Format("%.2d:%.2d:%.2d", t.hour, t.minute, t.second).c_str());
  }
  return TCookieRFC2109::ComposeText();
}

TCookieRFC2109& TCookies::AddCookie() {
  items_.push_back(std::make_unique<TCookieRFC2109>());
  return *items_.back();
}

TCookieRFC2109& TCookies::AddFromText(const std::string& text) {
  TCookieRFC2109& cookie = AddCookie();
  cookie.ParseText(text);
  return cookie;
}

int TCookies::FindFrom(int firstIndex, std::string_view name) const {
  if (firstIndex < 0) firstIndex = 0;
  for (size_t i = static_cast<size_t>(firstIndex); i < items_.size(); ++i)
    if (SameText(items_[i]->Name, name)) return static_cast<int>(i);
  return -1;
}

TServerCookie& TServerCookies::AddServerCookie() {
  auto cookie = std::make_unique<TServerCookie>();
  TServerCookie& ref = *cookie;
  items_.push_back(std::move(cookie));
  return ref;
}

void ReadRequestCookies(const std::vector<std::string>& cookieValues, TServerCookies& cookies) {
  for (std::string value : cookieValues) {
    while (value.find(';') != std::string::npos) {
      cookies.AddFromText(SplitAtFirst(value, ";"));
      value = Trim(value);
    }
    if (!value.empty()) cookies.AddFromText(value);
  }
}

}  // namespace tamsel
