#include "platform/keystore.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

// ---------------------------------------------------------------------------
// The tree

struct TKeyStore::TKey {
  std::string Name;  // as first written
  // Subkeys by upper-cased name, which is also their enumeration order.
  std::map<std::string, std::unique_ptr<TKey>> Subkeys;
  // Values in creation order, and the same by upper-cased name.
  std::list<TRegValue> Values;
  std::unordered_map<std::string, std::list<TRegValue>::iterator> Index;
};

namespace {

using TKey = TKeyStore::TKey;

std::vector<std::string_view> SplitKeyOrThrow(std::string_view key) {
  // A line break would end the key's line in the file.
  if (key.find_first_of("\r\n") != std::string_view::npos)
    throw EKeyStoreError("Key name with a line break: \"" + std::string(key.substr(0, 80)) + "\"");
  auto parts = SplitRegKey(key);
  if (!parts)
    throw EKeyStoreError("Key name too long or too deep: \"" + std::string(key.substr(0, 80)) +
                         "\"");
  return *parts;
}

const TKey* FindKey(const TKey& root, std::string_view key) {
  auto parts = SplitRegKey(key);
  if (!parts) return nullptr;
  const TKey* k = &root;
  for (std::string_view part : *parts) {
    auto it = k->Subkeys.find(UpperCase(part));
    if (it == k->Subkeys.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

TKey* FindKey(TKey& root, std::string_view key) {
  return const_cast<TKey*>(FindKey(static_cast<const TKey&>(root), key));
}

// Returns the key and whether anything was created.
std::pair<TKey*, bool> MakeKey(TKey& root, const std::vector<std::string_view>& parts) {
  TKey* k = &root;
  bool created = false;
  for (std::string_view part : parts) {
    auto [it, inserted] = k->Subkeys.try_emplace(UpperCase(part));
    if (inserted) {
      it->second = std::make_unique<TKey>();
      it->second->Name = std::string(part);
      created = true;
    }
    k = it->second.get();
  }
  return {k, created};
}

const TRegValue* FindValue(const TKey& key, std::string_view name) {
  auto it = key.Index.find(UpperCase(name));
  return it == key.Index.end() ? nullptr : &*it->second;
}

// Creates or replaces; true when the stored value changed.
bool SetValue(TKey& key, std::string_view name, const TRegValue& value) {
  if (name.size() > kMaxValueNameLength)
    throw EKeyStoreError("Value name longer than 16383 characters");
  std::string folded = UpperCase(name);
  auto it = key.Index.find(folded);
  if (it != key.Index.end()) {
    TRegValue& old = *it->second;
    if (old.Type == value.Type && old.Data == value.Data && old.Dword == value.Dword) return false;
    old.Type = value.Type;
    old.Data = value.Data;
    old.Dword = value.Dword;
    return true;
  }
  key.Values.push_back(value);
  key.Values.back().Name = std::string(name);
  key.Index.emplace(std::move(folded), std::prev(key.Values.end()));
  return true;
}

bool RemoveValue(TKey& key, std::string_view name) {
  auto it = key.Index.find(UpperCase(name));
  if (it == key.Index.end()) return false;
  key.Values.erase(it->second);
  key.Index.erase(it);
  return true;
}

bool RemoveKey(TKey& root, const std::vector<std::string_view>& parts) {
  if (parts.empty()) {  // the root itself: empty it
    bool had = !root.Subkeys.empty() || !root.Values.empty();
    root.Subkeys.clear();
    root.Values.clear();
    root.Index.clear();
    return had;
  }
  TKey* parent = &root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->Subkeys.find(UpperCase(parts[i]));
    if (it == parent->Subkeys.end()) return false;
    parent = it->second.get();
  }
  return parent->Subkeys.erase(UpperCase(parts.back())) > 0;
}

TRegValue TextValue(std::string_view text, std::uint32_t type = kRegSz) {
  TRegValue v;
  v.Type = type;
  v.Data = std::string(text);
  return v;
}

TRegValue DwordValue(std::uint32_t n) {
  TRegValue v;
  v.Type = kRegDword;
  v.Dword = n;
  return v;
}

// Applies a parsed script; true when anything changed.
bool Apply(TKey& root, const TRegScript& script) {
  bool changed = false;
  std::vector<std::vector<std::string_view>> keys;
  keys.reserve(script.Keys.size());
  for (const auto& k : script.Keys) keys.emplace_back(k.begin(), k.end());
  // The key of each section, found once: a section may hold many values
  // below a deep path. Deleting keys makes the found ones stale.
  std::vector<std::pair<TKey*, size_t>> found(keys.size(), {nullptr, 0});
  size_t generation = 1;
  auto sectionKey = [&](size_t index) {
    if (found[index].second != generation) {
      auto [key, created] = MakeKey(root, keys[index]);
      found[index] = {key, generation};
      changed |= created;
    }
    return found[index].first;
  };
  for (const TRegOp& op : script.Ops) {
    switch (op.Op) {
      case TRegOp::kCreateKey:
        sectionKey(op.KeyIndex);
        break;
      case TRegOp::kDeleteKey:
        changed |= RemoveKey(root, keys[op.KeyIndex]);
        ++generation;
        break;
      case TRegOp::kSetValue:
        changed |= SetValue(*sectionKey(op.KeyIndex), op.Value.Name, op.Value);
        break;
      case TRegOp::kDeleteValue:
        changed |= RemoveValue(*sectionKey(op.KeyIndex), op.Value.Name);
        break;
    }
  }
  return changed;
}

void AppendKey(std::string& out, const TKey& key, std::string& path, bool isRoot) {
  size_t mark = path.size();
  if (!isRoot) {
    path += '\\';
    path += key.Name;
  }
  if (!isRoot || !key.Values.empty()) AppendRegSection(out, path, key.Values);
  for (const auto& [folded, sub] : key.Subkeys) AppendKey(out, *sub, path, false);
  path.resize(mark);
}

}  // namespace

// ---------------------------------------------------------------------------
// TKeyStore

TKeyStore::TKeyStore() : root_(std::make_unique<TKey>()) {}

TKeyStore::TKeyStore(std::string path) : path_(std::move(path)), root_(std::make_unique<TKey>()) {
  if (!FileExists(path_)) {
    // Something that is there but is no plain file is not overwritten.
    if (::access(path_.c_str(), F_OK) == 0) {
      loadProblem_ =
          std::make_exception_ptr(EKeyStoreError(TErrorKind::InOut, N_("not a file"), {}));
      moveAside_ = true;
    }
    return;
  }
  auto bytes = ReadWholeFile(path_);
  if (!bytes) {
    loadProblem_ = std::make_exception_ptr(
        EKeyStoreError(TErrorKind::InOut, N_("cannot be read: %1"), {std::strerror(errno)}));
    moveAside_ = true;
    return;
  }
  try {
    TRegScript script = ParseRegText(*bytes);
    Apply(*root_, script);
  } catch (const EKeyStoreError& e) {
    root_ = std::make_unique<TKey>();
    loadProblem_ = std::current_exception();
    moveAside_ = true;
  }
}

TKeyStore::~TKeyStore() = default;

std::string TKeyStore::LoadError() const {
  std::lock_guard lock(mutex_);
  if (!loadProblem_) return "";
  // Put in the user's language when asked: the store may be loaded before
  // the catalogue is set up.
  try {
    std::rethrow_exception(loadProblem_);
  } catch (const std::exception& e) {
    return path_ + ": " + UserErrorText(e);
  }
}

bool TKeyStore::KeyExists(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return FindKey(*root_, key) != nullptr;
}

void TKeyStore::CreateKey(std::string_view key) {
  auto parts = SplitKeyOrThrow(key);
  std::lock_guard lock(mutex_);
  if (MakeKey(*root_, parts).second) Changed();
}

bool TKeyStore::DeleteKey(std::string_view key) {
  auto parts = SplitRegKey(key);
  if (!parts) return false;
  std::lock_guard lock(mutex_);
  if (!RemoveKey(*root_, *parts)) return false;
  Changed();
  return true;
}

std::vector<std::string> TKeyStore::SubKeyNames(std::string_view key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  if (const TKey* k = FindKey(*root_, key))
    for (const auto& [folded, sub] : k->Subkeys) names.push_back(sub->Name);
  return names;
}

bool TKeyStore::ValueExists(std::string_view key, std::string_view name) const {
  std::lock_guard lock(mutex_);
  const TKey* k = FindKey(*root_, key);
  return k && FindValue(*k, name);
}

std::vector<std::string> TKeyStore::ValueNames(std::string_view key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  if (const TKey* k = FindKey(*root_, key))
    for (const TRegValue& v : k->Values) names.push_back(v.Name);
  return names;
}

std::optional<TRegValue> TKeyStore::GetValue(std::string_view key, std::string_view name) const {
  std::lock_guard lock(mutex_);
  const TKey* k = FindKey(*root_, key);
  if (!k) return std::nullopt;
  const TRegValue* v = FindValue(*k, name);
  if (!v) return std::nullopt;
  return *v;
}

std::string TKeyStore::ReadString(std::string_view key, std::string_view name) const {
  auto v = GetValue(key, name);
  if (!v) return {};
  if (!v->IsText())
    throw EKeyStoreError("Invalid data type for \"" + std::string(name) + "\": not a text");
  return v->Data;
}

std::optional<std::uint32_t> TKeyStore::ReadInteger(std::string_view key,
                                                    std::string_view name) const {
  auto v = GetValue(key, name);
  if (!v) return std::nullopt;
  if (v->Type != kRegDword)
    throw EKeyStoreError("Invalid data type for \"" + std::string(name) +
                         "\": not a 32-bit integer");
  return v->Dword;
}

bool TKeyStore::ReadFlag(std::string_view key, std::string_view name) const {
  auto n = ReadInteger(key, name);
  return n && *n != 0;
}

void TKeyStore::WriteValue(std::string_view key, std::string_view name, const TRegValue& value) {
  auto parts = SplitKeyOrThrow(key);
  TRegValue v = value;
  if (v.IsText()) {
    v.Dword = 0;
  } else if (v.Type == kRegDword) {
    v.Data.clear();
  } else {
    v.Dword = 0;
  }
  std::lock_guard lock(mutex_);
  auto [k, created] = MakeKey(*root_, parts);
  if (SetValue(*k, name, v) || created) Changed();
}

void TKeyStore::WriteString(std::string_view key, std::string_view name, std::string_view text) {
  WriteValue(key, name, TextValue(text));
}

void TKeyStore::WriteInteger(std::string_view key, std::string_view name, std::uint32_t value) {
  WriteValue(key, name, DwordValue(value));
}

void TKeyStore::WriteFlag(std::string_view key, std::string_view name, bool set) {
  WriteInteger(key, name, set ? 1 : 0);
}

bool TKeyStore::DeleteValue(std::string_view key, std::string_view name) {
  std::lock_guard lock(mutex_);
  TKey* k = FindKey(*root_, key);
  if (!k || !RemoveValue(*k, name)) return false;
  Changed();
  return true;
}

TRegImportStats TKeyStore::ImportRegText(std::string_view bytes) {
  if (bytes.size() > kMaxRegFileSize)
    throw ERegParseError(1, N_("the file is larger than %1 MB"),
                         {std::to_string(kMaxRegFileSize >> 20)});
  TRegScript script = ParseRegText(bytes);  // throws before anything changes
  std::lock_guard lock(mutex_);
  if (Apply(*root_, script)) Changed();
  return script.Stats;
}

std::string TKeyStore::ToRegText() const {
  std::lock_guard lock(mutex_);
  std::string out(kRegHeader5);
  out += "\n\n";
  std::string path(kRegRootName);
  AppendKey(out, *root_, path, true);
  return out;
}

void TKeyStore::Save() {
  std::lock_guard lock(mutex_);
  SaveLocked();
}

void TKeyStore::Changed() {
  dirty_ = true;
  if (batchDepth_ == 0) SaveLocked();
}

void TKeyStore::SaveLocked() {
  if (path_.empty()) {
    dirty_ = false;
    return;
  }
  std::string text(kRegHeader5);
  text += "\n\n";
  std::string keyPath(kRegRootName);
  AppendKey(text, *root_, keyPath, true);

  auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(path_.substr(0, slash)))
    throw EKeyStoreError(TErrorKind::InOut, N_("Cannot create the folder of %1: %2"),
                         {path_, std::strerror(errno)});
  if (moveAside_) {
    std::string aside = path_ + ".damaged";
    if (std::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT)
      throw EKeyStoreError(TErrorKind::InOut, N_("Cannot move the damaged %1 aside: %2"),
                           {path_, std::strerror(errno)});
    moveAside_ = false;
  }
  try {
    WriteFileAtomically(path_, text);
  } catch (const EQuillboxError& e) {
    throw EKeyStoreError(e, TErrorKind::InOut);
  } catch (const std::exception& e) {
    throw EKeyStoreError(e.what(), TErrorKind::InOut);
  }
  dirty_ = false;
}

TKeyStore::TBatch::TBatch(TKeyStore& store) : store_(store) {
  std::lock_guard lock(store_.mutex_);
  ++store_.batchDepth_;
}

TKeyStore::TBatch::~TBatch() {
  std::lock_guard lock(store_.mutex_);
  if (--store_.batchDepth_ == 0 && store_.dirty_) {
    try {
      store_.SaveLocked();
    } catch (const std::exception&) {
      // Stays dirty: the next change or Save() writes it.
    }
  }
}

std::string KeyStorePath() {
  std::string base = GetEnv("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = GetEnv("HOME");
    base = home.empty() ? ProgramDir() : home + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Quillbox/registry.reg";
}

TKeyStore& UserKeyStore() {
  static TKeyStore store(KeyStorePath());
  return store;
}

}  // namespace qb
