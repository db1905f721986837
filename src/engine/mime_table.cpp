#include "engine/mime_table.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/fd.h"
#include "platform/text.h"

namespace tamsel {

namespace {

const char* const kBuiltInPairs[] = {
    ".aiff=audio/x-aiff", ".au=audio/basic", ".mid=midi/mid", ".mp3=audio/x-mpg",
    ".m3u=audio/x-mpegurl", ".qcp=audio/vnd.qcelp", ".ra=audio/x-realaudio", ".wav=audio/x-wav",
    ".gsm=audio/x-gsm", ".wax=audio/x-ms-wax", ".wma=audio/x-ms-wma", ".ram=audio/x-pn-realaudio",
    ".mjf=audio/x-vnd.AudioExplosion.MjuiceMediaFile", ".bmp=image/bmp", ".gif=image/gif",
    ".jpg=image/jpeg", ".jpeg=image/jpeg", ".jpe=image/jpeg", ".pict=image/x-pict",
    ".png=image/x-png", ".svg=image/svg-xml", ".tif=image/x-tiff", ".rf=image/vnd.rn-realflash",
    ".rp=image/vnd.rn-realpix", ".ico=image/x-icon", ".art=image/x-jg", ".pntg=image/x-macpaint",
    ".qtif=image/x-quicktime", ".sgi=image/x-sgi", ".targa=image/x-targa", ".xbm=image/xbm",
    ".psd=image/x-psd", ".pnm=image/x-portable-anymap", ".pbm=image/x-portable-bitmap",
    ".pgm=image/x-portable-graymap", ".ppm=image/x-portable-pixmap", ".rgb=image/x-rgb",
    ".xbm=image/x-xbitmap", ".xpm=image/x-xpixmap", ".xwd=image/x-xwindowdump", ".323=text/h323",
    ".xml=text/xml", ".uls=text/iuls", ".txt=text/plain", ".rtx=text/richtext",
    ".wsc=text/scriptlet", ".rt=text/vnd.rn-realtext", ".htt=text/webviewhtml",
    ".htc=text/x-component", ".vcf=text/x-vcard", ".avi=video/x-msvideo", ".flc=video/flc",
    ".mpeg=video/x-mpeg2a", ".mov=video/quicktime", ".rv=video/vnd.rn-realvideo",
    ".ivf=video/x-ivf", ".wm=video/x-ms-wm", ".wmp=video/x-ms-wmp", ".wmv=video/x-ms-wmv",
    ".wmx=video/x-ms-wmx", ".wvx=video/x-ms-wvx", ".rms=video/vnd.rn-realvideo-secure",
    ".asx=video/x-ms-asf-plugin", ".movie=video/x-sgi-movie", ".wmd=application/x-ms-wmd",
    ".wms=application/x-ms-wms", ".wmz=application/x-ms-wmz", ".p12=application/x-pkcs12",
    ".p7b=application/x-pkcs7-certificates", ".p7r=application/x-pkcs7-certreqresp",
    ".qtl=application/x-quicktimeplayer", ".rtsp=application/x-rtsp",
    ".swf=application/x-shockwave-flash", ".sit=application/x-stuffit", ".tar=application/x-tar",
    ".man=application/x-troff-man", ".urls=application/x-url-list",
    ".zip=application/x-zip-compressed", ".cdf=application/x-cdf",
    ".fml=application/x-file-mirror-list", ".fif=application/fractals",
    ".spl=application/futuresplash", ".hta=application/hta", ".hqx=application/mac-binhex40",
    ".doc=application/msword", ".pdf=application/pdf", ".p10=application/pkcs10",
    ".p7m=application/pkcs7-mime", ".p7s=application/pkcs7-signature",
    ".cer=application/x-x509-ca-cert", ".crl=application/pkix-crl", ".ps=application/postscript",
    ".sdp=application/x-sdp", ".setpay=application/set-payment-initiation",
    ".setreg=application/set-registration-initiation", ".smil=application/smil",
    ".ssm=application/streamingmedia", ".xfdf=application/vnd.adobe.xfdf",
    ".fdf=application/vnd.fdf", ".xls=application/x-msexcel",
    ".sst=application/vnd.ms-pki.certstore", ".pko=application/vnd.ms-pki.pko",
    ".cat=application/vnd.ms-pki.seccat", ".stl=application/vnd.ms-pki.stl",
    ".rmf=application/vnd.rmf", ".rm=application/vnd.rn-realmedia",
    ".rnx=application/vnd.rn-realplayer", ".rjs=application/vnd.rn-realsystem-rjs",
    ".rmx=application/vnd.rn-realsystem-rmx", ".rmp=application/vnd.rn-rn_music_package",
    ".rsml=application/vnd.rn-rsml", ".vsl=application/x-cnet-vsl", ".z=application/x-compress",
    ".tgz=application/x-compressed", ".dir=application/x-director", ".gz=application/x-gzip",
    ".uin=application/x-icq", ".hpf=application/x-icq-hpf", ".pnq=application/x-icq-pnq",
    ".scm=application/x-icq-scm", ".ins=application/x-internet-signup",
    ".iii=application/x-iphone", ".latex=application/x-latex", ".nix=application/x-mix-transfer",
    ".wbmp=image/vnd.wap.wbmp", ".wml=text/vnd.wap.wml", ".wmlc=application/vnd.wap.wmlc",
    ".wmls=text/vnd.wap.wmlscript", ".wmlsc=application/vnd.wap.wmlscriptc", ".css=text/css",
    ".htm=text/html", ".html=text/html", ".shtml=server-parsed-html", ".xml=text/xml",
    ".sgm=text/sgml", ".sgml=text/sgml",
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path) {
  std::string content;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return content;
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// The extension of a file name: from its last "." on, unless a path
// separator or drive colon follows that "."; lower case.
std::string ExtensionOf(std::string_view fileName) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string_view extension = fileName.substr(dot);
  if (extension.find_first_of("\\/:") != std::string_view::npos) return {};
  return LowerCase(extension);
}

std::string WithDot(std::string extension) {
  if (!extension.empty() && extension[0] != '.') extension.insert(0, ".");
  return extension;
}

}  // namespace

const std::vector<std::string>& TMimeTable::BuiltInPairs() {
  static const std::vector<std::string> pairs(std::begin(kBuiltInPairs), std::end(kBuiltInPairs));
  return pairs;
}

TMimeTable::TMimeTable(bool fill, std::string storePath) : storePath_(std::move(storePath)) {
  if (fill) EnsureFilled();
}

std::string TMimeTable::LookupMimeType(std::string_view fileName) {
  std::string extension = ExtensionOf(fileName);
  if (extension.empty()) return kUnknownType;
  // Filling first (a no-op once done) keeps readers off a table being filled.
  EnsureFilled();
  int i = IndexOf(extension);
  return i < 0 ? std::string(kUnknownType) : mimeTypes_[static_cast<size_t>(i)];
}

void TMimeTable::EnsureFilled() {
  std::call_once(filled_, [this] {
    if (extensions_.empty()) FillDefault();
  });
}

void TMimeTable::FillDefault() {
  TStringList lines;
  CollectDefaultPairs(lines);
  LoadPairs(lines, '=');
}

void TMimeTable::CollectDefaultPairs(TStringList& lines) const {
  if (!lines.Empty()) return;
  // Lower-case name -> first line of that name, for setting values fast.
  std::unordered_map<std::string, size_t> firstLine;
  auto setValue = [&](const std::string& name, std::string_view type) {
    std::string key = LowerCase(name);
    auto found = firstLine.find(key);
    std::string line = name + "=" + std::string(type);
    if (found != firstLine.end()) {
      lines[found->second] = std::move(line);
    } else {
      firstLine.emplace(std::move(key), lines.Count());
      lines.Add(std::move(line));
    }
  };

  for (const std::string& pair : BuiltInPairs()) {
    std::string key = LowerCase(pair.substr(0, pair.find('=')));
    firstLine.emplace(std::move(key), lines.Count());  // keeps the first of duplicates
    lines.Add(pair);
  }

  if (storePath_.empty()) return;
  std::string store = ReadWholeFile(storePath_);
  std::string_view rest(store);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::vector<std::string_view> words = Words(line);
    if (words.size() < 2 || words[0][0] == '#') continue;
    for (size_t i = 1; i < words.size(); ++i) {
      if (words[i][0] == '#') break;  // a comment at the end of the line
      setValue(WithDot(std::string(words[i])), words[0]);
    }
  }
}

void TMimeTable::LoadPairs(const TStringList& lines, char separator) {
  extensions_.clear();
  mimeTypes_.clear();
  index_.clear();
  for (const std::string& line : lines.Lines()) {
    size_t at = line.find(separator);
    std::string extension = LowerCase(std::string_view(line).substr(0, at));
    std::string type = at == std::string::npos ? std::string() : line.substr(at + 1);
    if (extension.empty() || IndexOf(WithDot(extension)) >= 0) continue;
    AddPair(extension, type);
  }
}

void TMimeTable::AddPair(std::string_view extension, std::string_view mimeType) {
  std::string ext = LowerCase(extension);
  if (ext.empty()) throw EEngineException("Extension is empty");
  ext = WithDot(std::move(ext));
  std::string type = LowerCase(mimeType);
  if (type.empty()) throw EEngineException("Mimetype is empty");
  if (IndexOf(ext) >= 0) throw EEngineException("Extension already exits");
  index_.emplace(ext, extensions_.size());
  extensions_.push_back(std::move(ext));
  mimeTypes_.push_back(std::move(type));
}

int TMimeTable::IndexOf(const std::string& lowerExtension) const {
  auto found = index_.find(lowerExtension);
  return found == index_.end() ? -1 : static_cast<int>(found->second);
}

}  // namespace tamsel
