// The per-user key store: the program's stand-in for the current user's
// registry (HKEY_CURRENT_USER).
//
// Keys form a tree below the root; a key holds subkeys and named values.
// Key paths are written with backslashes ("Software\Quillbox\Options"); a
// leading backslash is allowed and empty parts are skipped. Key names and
// value names match without regard to ASCII case but keep the spelling they
// were first written with. Values enumerate in the order they were created
// (replacing a value keeps its place); subkeys enumerate sorted by their
// upper-cased names, the way the registry returns them. The value named ""
// is the key's default value ("@" in the file).
//
// The store lives in one text file in the registry export format
// (regformat.h), loaded when the store is opened and written back
// atomically after every change (or once at the end of a TBatch). Texts are
// 8-bit and kept as their bytes: the file is read and written without
// conversion, so whatever a caller stored comes back unchanged. Texts taken
// from a UTF-16 export become UTF-8 bytes, which pass unchanged through
// qb::ToUtf8Edge.
//
// Every member is safe to call from any thread.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/limits.h"
#include "platform/regformat.h"

namespace qb {

class TKeyStore {
 public:
  // A store in memory only.
  TKeyStore();
  // A store kept in the file at path: loaded now when it exists, written
  // back when changed. A file that cannot be read or parsed leaves the
  // store empty and LoadError() set; it is moved aside to path + ".damaged"
  // before the first write, never overwritten.
  explicit TKeyStore(std::string path);
  ~TKeyStore();
  TKeyStore(const TKeyStore&) = delete;
  TKeyStore& operator=(const TKeyStore&) = delete;

  const std::string& Path() const { return path_; }
  // "" after a clean load; otherwise what went wrong, naming the file.
  std::string LoadError() const;

  bool KeyExists(std::string_view key) const;
  // Creates the key with every missing parent.
  void CreateKey(std::string_view key);
  // Deletes the key with all its subkeys; false when there was none.
  bool DeleteKey(std::string_view key);
  // Names of the direct subkeys, as first written, sorted without regard to case.
  std::vector<std::string> SubKeyNames(std::string_view key) const;

  bool ValueExists(std::string_view key, std::string_view name) const;
  // Names in creation order; empty when the key does not exist.
  std::vector<std::string> ValueNames(std::string_view key) const;
  std::optional<TRegValue> GetValue(std::string_view key, std::string_view name) const;

  // "" when the key or value is missing. Throws EKeyStoreError for a value
  // that is not text.
  std::string ReadString(std::string_view key, std::string_view name) const;
  // False when missing; a 32-bit integer other than 0 is set. Throws
  // EKeyStoreError for a value that is not a 32-bit integer.
  bool ReadFlag(std::string_view key, std::string_view name) const;
  // nullopt when missing; throws EKeyStoreError for another type.
  std::optional<std::uint32_t> ReadInteger(std::string_view key, std::string_view name) const;

  // Each creates the key when needed and creates or replaces the value.
  void WriteString(std::string_view key, std::string_view name, std::string_view text);
  void WriteInteger(std::string_view key, std::string_view name, std::uint32_t value);
  void WriteFlag(std::string_view key, std::string_view name, bool set);
  // value.Name is ignored in favour of name.
  void WriteValue(std::string_view key, std::string_view name, const TRegValue& value);

  // False when the key or value did not exist.
  bool DeleteValue(std::string_view key, std::string_view name);

  // Merges the HKEY_CURRENT_USER part of a .reg file's bytes (UTF-16LE or
  // UTF-16BE with a byte-order mark, UTF-8, or 8-bit text; "Windows
  // Registry Editor Version 5.00" or "REGEDIT4"). Deletions ([-KEY] and
  // "name"=-) are applied too. The whole text is checked first: on
  // ERegParseError nothing changes. The store is saved once afterwards.
  TRegImportStats ImportRegText(std::string_view bytes);

  // The whole store in the file format.
  std::string ToRegText() const;

  // Writes the file now (nothing to do for a store in memory). Throws
  // EKeyStoreError when it cannot be written; the store keeps its content.
  void Save();

  // Holds back the writing of the file while it lives; the file is written
  // once when the outermost batch ends, if anything changed. A failed write
  // at that point is not reported (see Save()).
  class TBatch {
   public:
    explicit TBatch(TKeyStore& store);
    ~TBatch();
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

   private:
    TKeyStore& store_;
  };

  struct TKey;  // the tree, in keystore.cpp

 private:
  void Changed();  // with mutex_ held
  void SaveLocked();

  mutable std::mutex mutex_;
  std::string path_;
  std::unique_ptr<TKey> root_;
  std::exception_ptr loadProblem_;  // why the file could not be loaded
  bool moveAside_ = false;
  int batchDepth_ = 0;
  bool dirty_ = false;
};

// $XDG_CONFIG_HOME/Quillbox/registry.reg, with ~/.config when XDG_CONFIG_HOME
// is unset or not absolute.
std::string KeyStorePath();

// The current user's store at KeyStorePath(), opened on first use.
TKeyStore& UserKeyStore();

}  // namespace qb
