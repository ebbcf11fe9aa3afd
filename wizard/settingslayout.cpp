#include "wizard/settingslayout.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/keystore.h"
#include "platform/text.h"

namespace qb::wiz {

namespace {

constexpr std::array<TStoredProperty, 27> kStoredProperties = {{
    {"txtWavFile.Text", "txtWavFile", TPropKind::Text},
    {"txtOECustomFolder.Text", "txtOECustomFolder", TPropKind::Text},
    {"txtOEDir.Text", "txtOEDir", TPropKind::Text},
    {"rbOutlook.Checked", "rbOutlook", TPropKind::Checked},
    {"rbOEChooseFolder.Checked", "rbOEChooseFolder", TPropKind::Checked},
    {"rbOE.Checked", "rbOE", TPropKind::Checked},
    {"rbNS.Checked", "rbNS", TPropKind::Checked},
    {"rbMbox.Checked", "rbMbox", TPropKind::Checked},
    {"rbEML.Checked", "rbEML", TPropKind::Checked},
    {"rbOEChooseProfile.Checked", "rbOEChooseProfile", TPropKind::Checked},
    {"rb_SU_SE_DA_OF.Checked", "rb_SU_SE_DA_OF", TPropKind::Checked},
    {"rb_SU_DA_SE_OF.Checked", "rb_SU_DA_SE_OF", TPropKind::Checked},
    {"rb_SE_DA_SU_OF.Checked", "rb_SE_DA_SU_OF", TPropKind::Checked},
    {"rb_SE_DA_OF.Checked", "rb_SE_DA_OF", TPropKind::Checked},
    {"rb_DA_SU_OF.Checked", "rb_DA_SU_OF", TPropKind::Checked},
    {"rb_DA_SE_SU_OF.Checked", "rb_DA_SE_SU_OF", TPropKind::Checked},
    {"rb_DA_OF.Checked", "rb_DA_OF", TPropKind::Checked},
    {"cmbSelector.ItemIndex", "cmbSelector", TPropKind::ItemIndex},
    {"cbSkipDuplicates.Checked", "cbSkipDuplicates", TPropKind::Checked},
    {"cbGetEmails.Checked", "cbGetEmails", TPropKind::Checked},
    {"cbUseDate.Checked", "cbUseDate", TPropKind::Checked},
    {"dtpFrom.Date", "dtpFrom", TPropKind::Date},
    {"dtpTo.Date", "dtpTo", TPropKind::Date},
    {"rbTB.Checked", "rbTB", TPropKind::Checked},
    {"cbGetEmbbededImages.Checked", "cbGetEmbbededImages", TPropKind::Checked},
    {"cbWriteReport.Checked", "cbWriteReport", TPropKind::Checked},
    {"cbUseFullFilename.Checked", "cbUseFullFilename", TPropKind::Checked},
}};

constexpr std::array<TStoredProperty, 1> kAddedStoredProperties = {{
    {"rbLocalMail.Checked", "rbLocalMail", TPropKind::Checked},
}};

// 0001-01-01 and 9999-12-31 23:59:59.999 as day numbers.
constexpr double kMinDate = -693593.0;
constexpr double kMaxDate = 2958466.0;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// A stored placement value, or nothing when missing or unreadable.
std::optional<std::string> ReadText(const TKeyStore& store, std::string_view name) {
  try {
    if (!store.ValueExists(kFormKey, name)) return std::nullopt;
    return store.ReadString(kFormKey, name);
  } catch (const EKeyStoreError&) {
    return std::nullopt;
  }
}

// The sized name when it has a readable value, else the plain one.
std::optional<TRect4> ReadRect(const TKeyStore& store, std::string_view name,
                               const std::string& suffix) {
  for (const std::string& n : {std::string(name) + suffix, std::string(name)})
    if (auto text = ReadText(store, n))
      if (auto r = DecodeRect(*text)) return r;
  return std::nullopt;
}

void ReadInt(const TKeyStore& store, std::string_view name, int& out) {
  if (auto text = ReadText(store, name))
    if (auto v = DecodeInteger(*text)) out = *v;
}

}  // namespace

const std::array<TStoredProperty, 27>& StoredProperties() {
  return kStoredProperties;
}

const std::array<TStoredProperty, 1>& AddedStoredProperties() {
  return kAddedStoredProperties;
}

std::string PropertyValueName(const TStoredProperty& p) {
  std::string name(p.Entry);
  if (size_t dot = name.find('.'); dot != std::string::npos) name[dot] = '_';
  return name;
}

std::string EncodeChecked(bool checked) {
  return checked ? "True" : "False";
}

std::optional<bool> DecodeChecked(std::string_view text) {
  if (SameText(text, "True")) return true;
  if (SameText(text, "False")) return false;
  return std::nullopt;
}

std::string EncodeInteger(int value) {
  return std::to_string(value);
}

std::optional<int> DecodeInteger(std::string_view text) {
  text = TrimView(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string EncodeStoredDate(TDateTime value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  return std::string(buf, end);
}

std::optional<TDateTime> DecodeStoredDate(std::string_view text) {
  std::string s(TrimView(text));
  for (char& c : s)
    if (c == ',') c = '.';
  if (!s.empty() && s.front() == '+') s.erase(0, 1);
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (!std::isfinite(value) || value < kMinDate || value >= kMaxDate) return std::nullopt;
  return value;
}

bool IsWindowsPath(std::string_view text) {
  text = TrimView(text);
  if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') return true;  // \\server\share
  if (text.size() >= 2 && text[1] == ':' &&
      ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')))
    return text.size() == 2 || IsSeparator(text[2]);  // c:, c:\dir
  return false;
}

TShowState ShowStateOf(int showCmd) {
  switch (showCmd) {
    case 2:
    case 6:
    case 7:
      return TShowState::Minimized;
    case 3:
      return TShowState::Maximized;
    default:
      return TShowState::Normal;
  }
}

std::string EncodeRect(const TRect4& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", r.A, r.B, r.C, r.D);
  return buf;
}

std::optional<TRect4> DecodeRect(std::string_view text) {
  int v[4];
  for (int i = 0; i < 4; ++i) {
    size_t comma = i < 3 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    auto n = DecodeInteger(text.substr(0, comma));
    if (!n) return std::nullopt;
    v[i] = *n;
    text.remove_prefix(i < 3 ? comma + 1 : comma);
  }
  return TRect4{v[0], v[1], v[2], v[3]};
}

std::string ScreenSuffix(int screenWidth, int screenHeight) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "(%dx%d)", screenWidth, screenHeight);
  return buf;
}

void WritePlacement(TKeyStore& store, const TPlacement& p, int screenWidth, int screenHeight) {
  const std::string suffix = ScreenSuffix(screenWidth, screenHeight);
  TKeyStore::TBatch batch(store);
  store.WriteString(kFormKey, "FormVersion", "0");
  store.WriteString(kFormKey, "Flags", EncodeInteger(p.Flags));
  store.WriteString(kFormKey, "ShowCmd", EncodeInteger(p.ShowCmd));
  store.WriteString(kFormKey, "PixelsPerInch", EncodeInteger(p.PixelsPerInch));
  store.WriteString(kFormKey, "MinMaxPos", EncodeRect(p.MinMaxPos));
  store.WriteString(kFormKey, "MinMaxPos" + suffix, EncodeRect(p.MinMaxPos));
  store.WriteString(kFormKey, "NormPos", EncodeRect(p.NormPos));
  store.WriteString(kFormKey, "NormPos" + suffix, EncodeRect(p.NormPos));
  store.WriteString(kFormKey, "Visible", "1");
}

std::optional<TStoredPlacement> ReadPlacement(const TKeyStore& store, int screenWidth,
                                              int screenHeight) {
  int version = 0;
  ReadInt(store, "FormVersion", version);
  if (version < 0) return std::nullopt;
  const std::string suffix = ScreenSuffix(screenWidth, screenHeight);
  TStoredPlacement out;
  ReadInt(store, "Flags", out.Placement.Flags);
  ReadInt(store, "ShowCmd", out.Placement.ShowCmd);
  ReadInt(store, "PixelsPerInch", out.Placement.PixelsPerInch);
  if (auto r = ReadRect(store, "MinMaxPos", suffix)) out.Placement.MinMaxPos = *r;
  if (auto r = ReadRect(store, "NormPos", suffix)) {
    out.Placement.NormPos = *r;
    out.HasNormPos = true;
  }
  return out;
}

TValuePath SplitValuePath(std::string_view keyAndName) {
  size_t cut = keyAndName.find_last_of("\\/");
  if (cut == std::string_view::npos) return {"", std::string(keyAndName)};
  TValuePath out{std::string(keyAndName.substr(0, cut)), std::string(keyAndName.substr(cut + 1))};
  for (char& c : out.Key)
    if (c == '/') c = '\\';
  return out;
}

TValuePath SelectionValue(std::string_view baseKey, std::string_view name) {
  std::string full(baseKey);
  full += '\\';
  full += name;
  return SplitValuePath(full);
}

bool ReadFolderSelection(const TKeyStore& store, std::string_view baseKey, std::string_view name) {
  TValuePath v = SelectionValue(baseKey, name);
  try {
    return LowerCase(store.ReadString(v.Key, v.Name)) != "n";
  } catch (const EKeyStoreError&) {
    return true;
  }
}

bool WriteFolderSelection(TKeyStore& store, std::string_view baseKey, std::string_view name,
                          bool ticked) {
  TValuePath v = SelectionValue(baseKey, name);
  try {
    store.WriteString(v.Key, v.Name, ticked ? "y" : "n");
    return true;
  } catch (const EKeyStoreError&) {
    return false;
  }
}

}  // namespace qb::wiz
