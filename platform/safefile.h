// Writing files below a directory the user chose, so that nothing is lost and
// nothing lands anywhere else.
//
// - Every level below the chosen directory is created with mkdirat and opened
//   with O_NOFOLLOW | O_DIRECTORY relative to the level above: a symbolic link
//   planted at a level (or at a file name) is never followed. The chosen
//   directory itself may be a link.
// - A file is written under a temporary name in its target directory and
//   moved to its real name only when complete, without ever replacing an
//   existing file. A failed write leaves nothing under a real name.
// - A name that already holds the same bytes is kept as it is; one holding
//   other bytes makes the file go to the next name the caller offers
//   ("scan (2).pdf").
//
//   TSafeDir dir;
//   if (!dir.Open("/home/u/Attachments", "outlookExpress/2003.09.21", true)) fail();
//   TPendingFile tmp(dir);
//   tmp.Write(bytes.data(), bytes.size());
//   TPlaced placed = tmp.Place([](int n) { return NumberedName("scan", ".pdf", n); });
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qb {

// The longest name of one directory entry, in bytes.
inline constexpr std::size_t kMaxNameBytes = 255;

// Cuts text to at most max bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, std::size_t max);

// "base (n)ext" for n > 1, "base" + ext for n <= 1.
std::string NumberedName(const std::string& base, const std::string& ext, int n);

// A directory held open, reached without following links below its base.
class TSafeDir {
 public:
  TSafeDir() = default;
  ~TSafeDir();
  TSafeDir(TSafeDir&& other) noexcept;
  TSafeDir& operator=(TSafeDir&& other) noexcept;
  TSafeDir(const TSafeDir&) = delete;
  TSafeDir& operator=(const TSafeDir&) = delete;

  // Opens base (creating it with its parents when create is set; links on
  // the way to it are followed, it is the user's choice), then each level of
  // relative ('/'-separated; empty levels and "." are passed over), creating
  // missing levels when create is set. False when a level is missing, is a
  // symbolic link or no directory, is "..", or cannot be made or opened.
  bool Open(const std::string& base, const std::string& relative, bool create);

  // Whether Open(base, relative, true) would succeed, asked without making
  // anything: the levels that are there must be directories (below base, not
  // links), and the deepest of them must let this user make what is missing.
  static bool CouldOpen(const std::string& base, const std::string& relative);

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The directory as a path (base + "/" + relative), for messages.
  const std::string& Path() const { return path_; }
  // A path that opens name inside this directory without walking the
  // directory names again (through /proc/self/fd when it is there).
  std::string EntryPath(const std::string& name) const;

  void Close();

 private:
  int fd_ = -1;
  std::string path_;
};

enum class TPlaceResult {
  Written,    // the file now has the name
  SameBytes,  // the name already held the same bytes; nothing was written
  Failed      // nothing was placed: no free name, an error
};

struct TPlaced {
  TPlaceResult Result = TPlaceResult::Failed;
  std::string Name;  // the name used (for Written and SameBytes)
};

// One file being written inside a TSafeDir before it gets its name. Where
// the file system allows, the file has no name at all until Place (so a
// killed run leaves nothing); elsewhere it has a hidden temporary name
// (".qb-<random>.part"). The temporary is removed when the object goes away
// without Place succeeding.
class TPendingFile {
 public:
  // Creates a new, empty temporary file in dir (O_TMPFILE, else O_EXCL |
  // O_NOFOLLOW under a temporary name).
  explicit TPendingFile(const TSafeDir& dir);
  // False makes every temporary a named one (for tests of the named way).
  static bool UnnamedAllowed;
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The temporary name; empty for a file without a name.
  const std::string& TempName() const { return tempName_; }
  // A path by which other code may write the temporary (truncating it); see
  // TSafeDir::EntryPath.
  std::string Path() const;

  // Appends bytes. False on any failure (full disk, file size limit).
  bool Write(const char* data, std::size_t size);

  // True while the temporary's name still holds this very file (nothing
  // removed or replaced it); always for a file without a name.
  bool InPlace() const;

  // Moves the finished temporary to the first name candidate(1),
  // candidate(2), ... that is free or already holds the same bytes (the
  // temporary is then dropped). A symbolic link, a directory or any other
  // non-file at a candidate is passed over and left untouched. A temporary
  // that was replaced behind our back fails too. An empty candidate ends
  // the search (Failed).
  TPlaced Place(const std::function<std::string(int n)>& candidate, int maxTries = 10000);

  // Removes the temporary now.
  void Discard();

 private:
  const TSafeDir& dir_;
  int fd_ = -1;
  std::string tempName_;
};

}  // namespace qb
