// The HTML scanner and the link filters on arbitrary bytes: nothing may
// crash, and every name a link could be saved under stays one path
// component of at most 255 bytes of valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/codepage.h"
#include "web/jsHTMLParser.h"
#include "web/linkdownload.h"

namespace {

// Never asked to fetch: GetDownloadLinks only filters.
class TNoFetch : public qb::IHttpFetcher {
 public:
  qb::TFetchResult Fetch(const std::string&, qb::IDownloadSink&) override { __builtin_trap(); }
};

void CheckName(const std::string& name) {
  if (name.empty()) return;
  if (name.size() > 255 || name.find('/') != std::string::npos || name == "." ||
      name.find("..") != std::string::npos || name.find('\0') != std::string::npos ||
      !qb::IsValidUtf8(name))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  qb::TjsHTMLParser parser;
  std::size_t seen = 0;
  if (flags & 1) {
    parser.OnFoundTag = [&](qb::TjsHTMLParser*, const std::string& t) { seen += t.size(); };
    parser.OnFoundText = [&](qb::TjsHTMLParser*, const std::string& t) { seen += t.size(); };
    parser.OnFoundComment = [&](qb::TjsHTMLParser*, const std::string& t) { seen += t.size(); };
    parser.OnFoundHyperlink = [&](qb::TjsHTMLParser*, const std::string& t) { seen += t.size(); };
  }
  if (flags & 2) parser.OnParsing = [&](qb::TjsHTMLParser*, int, int) { ++seen; };
  parser.SetHTMLText(text);
  parser.Execute();
  parser.Execute();  // a second run starts from empty results
  if (seen > 64 * size + 64 && !(flags & 2)) __builtin_trap();

  qb::TExtensionListsSnapshot lists;
  lists.SelectedOnly = flags & 4;
  lists.IncludeEntries = {"jpg", "GIF", " png", ""};
  lists.ExcludeEntries = {"exe", "php", ""};
  qb::TLinkDownloadOptions options;
  options.UrlListPath = "/nonexistent/URLList.txt";
  options.Fetcher = std::make_shared<TNoFetch>();
  qb::TLinkDownloader links(lists, options);
  qb::TStringList found;
  links.GetDownloadLinks(text, found);
  // A prefix made of the input's first bytes stands in for any prefix.
  const std::string prefix = text.substr(0, flags & 8 ? 12 : 0);
  for (const std::string& link : found) {
    const std::string name = qb::LinkTargetName(link);
    if (name.empty()) continue;
    const std::string path = qb::SafeDownloadPath(qb::LinkTargetPath("/target/dir", prefix, name));
    if (path.empty()) continue;
    if (path.rfind("/target/dir/", 0) != 0) __builtin_trap();
    CheckName(path.substr(12));
  }
  CheckName(qb::SafeDownloadName(text));
  return 0;
}
