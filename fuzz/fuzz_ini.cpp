// The INI store and the naming rules on arbitrary bytes: the file is loaded,
// read in every way, changed and flushed; what is on disk afterwards must be
// exactly the store's text, and no attachment path may climb out of the
// destination directory.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/datetext.h"
#include "engine/naming.h"
#include "engine/oIniFile.h"
#include "platform/paths.h"

namespace {
std::string WorkDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/qbfuzzini.XXXXXX";
  if (!::mkdtemp(t.data())) std::abort();
  return t;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = WorkDir();
  const std::string path = dir + "/f.ini";
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  try {
    qb::TBiggerIniFile ini(path);
    ini.OnDuplicateSection = nullptr;
    qb::TStringList names;
    ini.ReadSections(names);
    for (const auto& n : names) {
      qb::TStringList keys;
      ini.ReadSection(n, keys);
      for (const auto& k : keys) {
        ini.ReadInteger(n, k, 0);
        ini.ReadDateTime(n, k, 0);
        ini.ReadFloat(n, k, 0);
        qb::TFontRecord font;
        ini.ReadFontSpec(n, k, font);
        unsigned char buf[16];
        ini.ReadBytes(n, k, sizeof buf, buf);
        try {
          ini.ReadHexValue(n, k, 0);
        } catch (const qb::EConvertError&) {
        }
      }
      ini.WriteCountedList(n, {"a", "b"});
    }
    ini.WriteString("New", "k", text.substr(0, 40));
    ini.UpdateFile();
    if (*qb::ReadWholeFile(path) != ini.FileText()) __builtin_trap();

    qb::TNamingOptions o;
    o.DestinationDir = dir + "/dest";
    o.Layout = static_cast<int>(size % 7);
    o.FullFileName = (size & 1) != 0;
    auto target = qb::BuildTargetPath(text.substr(0, size / 2), text.substr(size / 2), 0, o);
    if (qb::AttachmentFilePath(target, text).find("/../") != std::string::npos) __builtin_trap();
    qb::ParseDateTimeText(text);
  } catch (const qb::EInOutError&) {
  }
  return 0;
}
