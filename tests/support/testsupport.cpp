#include "tests/support/testsupport.h"

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
  Log.push_back(line);
  if (OnLog) OnLog(line);
}

void RecordingView::SetStatusText(const std::string& text) {
  Statuses.push_back(text);
  if (OnStatus) OnStatus(text);
}

void RecordingView::SetProgressMax(int count) {
  ProgressMax = count == 0 ? 1 : count;
  ProgressPosition = 0;
}

void RecordingView::SetProgressPosition(int value) {
  ProgressPosition = value;
}

void RecordingView::ShowFolderRow(int folderIndex) {
  if (folderIndex >= 0 && static_cast<size_t>(folderIndex) < Rows.size())
    Rows[static_cast<size_t>(folderIndex)].Shown = true;
}

void RecordingView::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                                    int extracted, int messages, int total) {
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

}  // namespace qb::test
