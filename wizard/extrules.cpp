#include "wizard/extrules.h"

#include <array>

#include "platform/keystore.h"
#include "platform/text.h"
#include "wizard/settingslayout.h"

namespace qb::wiz {

namespace {

constexpr std::array<std::string_view, 42> kShippedInclude = {
    "BMP", "GIF",  "DIB",  "JPG", "JPEG", "JPE",  "JP2",  "JPC", "J2K", "PCX", "PNG",
    "TGA", "TIFF", "TIFF", "AVI", "MPEG", "MPG",  "MPE",  "MOV", "RM",  "RAM", "ASF",
    "ASX", "WM",   "WMX",  "WMP", "M1V",  "MP2V", "MPV2", "IVF", "WVX", "WAV", "DAT",
    "WMV", "M3U",  "MP3",  "ZIP", "RAR",  "DOC",  "PDF",  "EML", "TXT"};

constexpr std::array<std::string_view, 20> kShippedExclude = {
    "VBS", "VB",   "JS",    "COM", "BAT", "PIF",  "BIN", "DLL", "EXE", "SCR",
    "HTM", "HTML", "SHTML", "PHP", "ASP", "ASPX", "PL",  "CGI", "EML", "CFM"};

}  // namespace

std::span<const std::string_view> ShippedExtensions(TExtListKind kind) {
  if (kind == TExtListKind::Include) return kShippedInclude;
  return kShippedExclude;
}

TExtList ShippedExtList(TExtListKind kind) {
  TExtList list;
  for (std::string_view e : ShippedExtensions(kind)) list.push_back({std::string(e), true});
  return list;
}

std::string_view ExtListKey(TExtListKind kind) {
  return kind == TExtListKind::Include ? kIncludeExtKey : kExcludeExtKey;
}

bool SameExtension(std::string_view a, std::string_view b) {
  return UpperCase(TrimView(a)) == UpperCase(TrimView(b));
}

std::string_view NothingToDeleteMessage(TExtListKind kind) {
  return kind == TExtListKind::Include
             ? N_("You dont have any Extension to Delete. \r\n\r\nAdd some before deleting.")
             : N_("You dont have any Extensions to Delete. \r\n\r\nAdd some before deleting.");
}

std::string_view ConfirmDeleteMessage(TExtListKind kind) {
  return kind == TExtListKind::Include ? N_("Do you really want to delete the selected Extension ?")
                                       : N_("Do you really want to delete the selected Extension?");
}

std::optional<std::string_view> CheckExtensionText(const TExtList& list, std::string_view text,
                                                   int skip) {
  if (IsBlank(text)) return kInvalidName;
  for (size_t i = 0; i < list.size(); ++i)
    if (static_cast<int>(i) != skip && SameExtension(list[i].Text, text)) return kDuplicateName;
  return std::nullopt;
}

TExtList LoadExtList(const TKeyStore& store, TExtListKind kind) {
  const std::string_view key = ExtListKey(kind);
  TExtList list;
  for (std::string& name : store.ValueNames(key)) {
    bool ticked = store.ReadFlag(key, name);
    list.push_back({std::move(name), ticked});
  }
  return list;
}

void StoreExtList(TKeyStore& store, TExtListKind kind, const TExtList& list) {
  const std::string_view key = ExtListKey(kind);
  TKeyStore::TBatch batch(store);
  for (const std::string& name : store.ValueNames(key)) {
    try {
      store.DeleteValue(key, name);
    } catch (const EKeyStoreError&) {
    }
  }
  for (const TExtEntry& e : list) {
    try {
      store.WriteFlag(key, e.Text, e.Checked);
    } catch (const EKeyStoreError&) {
    }
  }
}

TExtLists InitOrLoadExtLists(TKeyStore& store) {
  TExtLists out;
  if (store.ValueExists(kOptionsKey, kNewValueName)) {
    try {
      out.Include = LoadExtList(store, TExtListKind::Include);
      out.Exclude = LoadExtList(store, TExtListKind::Exclude);
      return out;
    } catch (const EKeyStoreError& e) {
      out.Error = e.what();
    }
  }
  out.Include = ShippedExtList(TExtListKind::Include);
  out.Exclude = ShippedExtList(TExtListKind::Exclude);
  if (out.Error.empty()) {
    TKeyStore::TBatch batch(store);
    store.WriteString(kOptionsKey, kNewValueName, "y");
    StoreExtList(store, TExtListKind::Include, out.Include);
    StoreExtList(store, TExtListKind::Exclude, out.Exclude);
  }
  return out;
}

}  // namespace qb::wiz
