#include "tests/support/testsupport.h"

#include <csignal>

#include <sys/resource.h>

#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qb::test {

namespace {
// Tests never touch the real per-user folders: data and configuration go
// below the build tree unless a test points them elsewhere itself.
struct IsolateUserFolders {
  IsolateUserFolders() {
    const std::string home = QB_TEST_HOME;
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  }
} g_isolate_user_folders;
}  // namespace

std::string SourceDir() {
  const char* env = std::getenv("QB_SOURCE_DIR");
  if (env && *env) return env;
  return QB_SOURCE_DIR_DEFAULT;
}

std::string RefDataDir() {
  return SourceDir() + "/../shared/refdata";
}

std::string TestDataDir(const std::string& area) {
  return SourceDir() + "/tests/data/" + area;
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/qbtest.XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only directories removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> ListTree(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file())
      out.push_back(std::filesystem::relative(it->path(), dir).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string TreeContents(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<fs::path> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    entries.push_back(it->path());
  std::sort(entries.begin(), entries.end());
  std::string out;
  for (const fs::path& p : entries) {
    out += fs::relative(p, dir).generic_string();
    const fs::file_status st = fs::symlink_status(p);
    if (fs::is_symlink(st)) {
      out += " -> " + fs::read_symlink(p).string() + "\n";
    } else if (fs::is_directory(st)) {
      out += "/\n";
    } else {
      std::string bytes = ReadFile(p.string());
      const std::string started = "LastStarted=";
      for (std::size_t at = bytes.find(started); at != std::string::npos;
           at = bytes.find(started, at + 1))
        bytes.erase(at + started.size(), bytes.find_first_of("\r\n", at) - at - started.size());
      out += " (" + std::to_string(bytes.size()) + ")\n" + bytes + "\n";
    }
  }
  return out;
}

TreeSnapshot::TreeSnapshot(std::string dir) : dir_(std::move(dir)) {
  namespace fs = std::filesystem;
  fs::copy(dir_, copy_.Path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

void TreeSnapshot::Restore() const {
  namespace fs = std::filesystem;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
  fs::copy(copy_.Path(), dir_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (old) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    ::setenv(name_.c_str(), old_.c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

void RecordingView::AddLog(const std::string& line) {
  Trace.push_back("log " + line);
  Log.push_back(line);
  if (OnLog) OnLog(line);
}

void RecordingView::SetStatusText(const std::string& text) {
  Trace.push_back("status " + text);
  Statuses.push_back(text);
  if (OnStatus) OnStatus(text);
}

void RecordingView::SetProgressMax(int count) {
  Trace.push_back("max " + std::to_string(count));
  ProgressMax = count == 0 ? 1 : count;
  ProgressPosition = 0;
}

void RecordingView::SetProgressPosition(int value) {
  Trace.push_back("position " + std::to_string(value));
  ProgressPosition = value;
}

void RecordingView::ShowFolderRow(int folderIndex) {
  Trace.push_back("show " + std::to_string(folderIndex));
  if (folderIndex >= 0 && static_cast<size_t>(folderIndex) < Rows.size())
    Rows[static_cast<size_t>(folderIndex)].Shown = true;
}

void RecordingView::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                                    int extracted, int messages, int total) {
  Trace.push_back("row " + std::to_string(folderIndex) + " " + folderName + " " +
                  std::to_string(status) + " " + std::to_string(extracted) + " " +
                  std::to_string(messages) + " " + std::to_string(total));
  if (folderIndex < 0) return;
  auto i = static_cast<size_t>(folderIndex);
  if (Rows.size() <= i) {
    Rows.resize(i + 1);
    RowHistory.resize(i + 1);
  }
  Rows[i].Name = folderName;
  Rows[i].Status = status;
  Rows[i].Extracted = extracted;
  Rows[i].Messages = messages;
  Rows[i].Total = total;
  RowHistory[i].push_back(status);
}

std::string IdentityRegistryExport(const std::string& storeDir) {
  std::string root;
  for (char c : storeDir) root += c == '/' ? std::string("\\\\") : std::string(1, c);
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\Identities\\{11111111-2222-3333-4444-555555555555}]\r\n"
         "\"Username\"=\"Main Identity\"\r\n\r\n"
         "[HKEY_CURRENT_USER\\Identities\\{11111111-2222-3333-4444-555555555555}"
         "\\Software\\Microsoft\\Outlook Express\\5.0]\r\n"
         "\"Store Root\"=\"" +
         root + "\"\r\n\r\n";
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit lim{};
  if (::getrlimit(RLIMIT_FSIZE, &lim) != 0) return;
  old_ = lim.rlim_cur;
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  lim.rlim_cur = bytes;
  set_ = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  rlimit lim{};
  if (::getrlimit(RLIMIT_FSIZE, &lim) == 0) {
    lim.rlim_cur = old_;
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  std::signal(SIGXFSZ, oldHandler_);
}

}  // namespace qb::test
