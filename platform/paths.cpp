#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/errors.h"

namespace qb {

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string StripTrailingSlashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string HomeDirectory(const std::string& chosen) {
  if (!chosen.empty()) return StripTrailingSlashes(chosen);
  std::string home = GetEnv("HOME");
  if (home.empty())
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  return StripTrailingSlashes(home);
}

std::string ProgramDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, static_cast<size_t>(n));
  auto slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

std::string ProgramDataDir() {
  std::string dir = GetEnv("QUILLBOX_DATA_DIR");
  if (!dir.empty()) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  const std::string program = ProgramDir();
  const std::string installed = program + "/../share/quillbox";
  if (DirectoryExists(installed)) return installed;
  return program + "/data";
}

std::string AppDataDir() {
  std::string xdg = GetEnv("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') {
    while (xdg.size() > 1 && xdg.back() == '/') xdg.pop_back();
    return xdg;
  }
  std::string home = GetEnv("HOME");
  if (!home.empty()) {
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.local/share";
  }
  return ProgramDir();
}

std::string IncludeTrailingSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + '/';
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  std::string path;
  size_t pos = 0;
  while (pos <= dir.size()) {
    size_t next = dir.find('/', pos);
    if (next == std::string::npos) next = dir.size();
    path = dir.substr(0, next);
    if (!path.empty() && !DirectoryExists(path)) {
      if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    pos = next + 1;
  }
  return DirectoryExists(dir);
}

std::string ResolveNoCase(const std::string& dir, const std::string& name) {
  const std::string base = dir.empty() ? std::string(".") : dir;
  const std::string exact = IncludeTrailingSlash(base) + name;
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) return exact;
  if (name.find('/') != std::string::npos) return exact;
  DIR* d = ::opendir(base.c_str());
  if (!d) return exact;
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found.empty() ? exact : IncludeTrailingSlash(base) + found;
}

int OpenRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

namespace {
std::optional<std::string> ReadAll(int fd) {
  if (fd < 0) return std::nullopt;
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}
}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  return ReadAll(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

std::optional<std::string> ReadRegularFile(const std::string& path) {
  return ReadAll(OpenRegularFile(path));
}

bool SaveBytesToFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + off, bytes.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    off += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0;
}

void WriteFileAtomically(const std::string& path, const std::string& data) {
  auto slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmpl = IncludeTrailingSlash(dir) + "." + name + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0)
    throw EQuillboxError(TErrorKind::InOut, N_("Cannot create %1: %2"),
                         {path, std::strerror(errno)});
  // Keep the permissions a plain create would give.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  size_t off = 0;
  while (off < data.size()) {
    ssize_t n = ::write(fd, data.data() + off, data.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      throw EQuillboxError(TErrorKind::InOut, N_("Cannot write %1: %2"),
                           {path, std::strerror(err)});
    }
    off += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int err = errno;
    ::unlink(tmpl.c_str());
    throw EQuillboxError(TErrorKind::InOut, N_("Cannot write %1: %2"), {path, std::strerror(err)});
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmpl.c_str());
    throw EQuillboxError(TErrorKind::InOut, N_("Cannot replace %1: %2"),
                         {path, std::strerror(err)});
  }
}

std::string ExpandEnvironmentStrings(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '%') {
      size_t end = text.find('%', i + 1);
      if (end != std::string::npos && end > i + 1) {
        std::string name = text.substr(i + 1, end - i - 1);
        if (const char* v = std::getenv(name.c_str())) {
          out += v;
          i = end + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace qb
