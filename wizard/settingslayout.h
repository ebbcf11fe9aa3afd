// Where and how the wizard keeps the user's choices in the per-user key
// store, without any user-interface type: the key and value names, the text
// encodings of the stored control values, the window placement values and
// the per-folder selections.
//
// The layout is shared with exports of the same settings taken on Windows,
// so names and encodings are fixed.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace qb {
class TKeyStore;
}

namespace qb::wiz {

inline constexpr std::string_view kRootKey = "Software\\Quillbox";
inline constexpr std::string_view kFormKey = "Software\\Quillbox\\TfrmOEMain";
inline constexpr std::string_view kOptionsKey = "Software\\Quillbox\\Options";
inline constexpr std::string_view kIncludeExtKey = "Software\\Quillbox\\Options\\IncludeExt";
inline constexpr std::string_view kExcludeExtKey = "Software\\Quillbox\\Options\\ExcludeExt";
inline constexpr std::string_view kOESelectionKey = "Software\\Quillbox\\OEFolderSelection";
inline constexpr std::string_view kOutlookSelectionKey =
    "Software\\Quillbox\\OutlookFolderSelection";
inline constexpr std::string_view kNSSelectionKey = "Software\\Quillbox\\NSFolderSelection";
inline constexpr std::string_view kTBSelectionKey = "Software\\Quillbox\\TBFolderSelection";
// The other mail folders (Maildir, mbox, .eml): their ticks, and the paths
// added by hand as the values "Path1", "Path2", ... in the order added.
inline constexpr std::string_view kLocalSelectionKey = "Software\\Quillbox\\LocalFolderSelection";
inline constexpr std::string_view kLocalPathsKey = "Software\\Quillbox\\LocalMailPaths";

inline constexpr std::string_view kStartValueName = "StartValue";
inline constexpr std::string_view kStartValue = "1.0";
inline constexpr std::string_view kDebugThreadModeName = "debugThreadMode";
inline constexpr std::string_view kDebugThreadMode = "idle";
inline constexpr std::string_view kNewValueName = "newValue";

// ---------------------------------------------------------------------------
// Stored control values

enum class TPropKind { Text, Checked, ItemIndex, Date };

struct TStoredProperty {
  std::string_view Entry;    // "txtWavFile.Text": control and property
  std::string_view Control;  // "txtWavFile"
  TPropKind Kind;
};

// Every stored control value in the order it is saved and restored.
const std::array<TStoredProperty, 27>& StoredProperties();

// The values of the controls this program adds to the shared layout, saved
// and restored after every entry of StoredProperties.
const std::array<TStoredProperty, 1>& AddedStoredProperties();

// The value name of an entry: the dot replaced by "_" ("txtWavFile_Text").
std::string PropertyValueName(const TStoredProperty& p);

// Check states: "True"/"False" written, read without regard to case.
std::string EncodeChecked(bool checked);
std::optional<bool> DecodeChecked(std::string_view text);
// Integers in decimal; blanks around the number are allowed when reading.
std::string EncodeInteger(int value);
std::optional<int> DecodeInteger(std::string_view text);
// Dates: days since 1899-12-30 with the time as fraction, in general
// notation with at most 15 significant digits and "." as the decimal
// separator under every locale. Reading also takes "," (exports written
// under such a locale) and refuses anything outside the years 1 to 9999.
std::string EncodeStoredDate(TDateTime value);
std::optional<TDateTime> DecodeStoredDate(std::string_view text);

// A stored text that names a Windows location ("c:\Attachments\",
// "\\server\share"): it cannot exist here, so the control keeps its own
// default instead.
bool IsWindowsPath(std::string_view text);

// ---------------------------------------------------------------------------
// Window placement

struct TRect4 {
  int A = -1, B = -1, C = -1, D = -1;
  bool operator==(const TRect4&) const = default;
};

struct TPlacement {
  int Flags = 0;
  int ShowCmd = 1;  // 1 normal, 2 minimised, 3 maximised
  int PixelsPerInch = 96;
  TRect4 MinMaxPos;  // minimised x, y, maximised x, y
  TRect4 NormPos;    // left, top, right, bottom of the normal window
  bool operator==(const TPlacement&) const = default;
};

enum class TShowState { Normal, Minimized, Maximized };
// 1, 5, 9 and anything unknown: normal; 2, 6, 7: minimised; 3: maximised.
TShowState ShowStateOf(int showCmd);

std::string EncodeRect(const TRect4& r);  // "%d,%d,%d,%d"
std::optional<TRect4> DecodeRect(std::string_view text);
// "(%dx%d)" appended to a placement value name.
std::string ScreenSuffix(int screenWidth, int screenHeight);

// Writes "FormVersion", the placement values (the two positions both plain
// and with the screen size in the name) and "Visible", in that order.
void WritePlacement(TKeyStore& store, const TPlacement& p, int screenWidth, int screenHeight);

struct TStoredPlacement {
  TPlacement Placement;
  bool HasNormPos = false;  // a readable "NormPos" was found
};
// nullopt when "FormVersion" is below 0 (nothing is to be restored). The
// values named with the current screen size win over the plain ones;
// missing or unreadable values keep the defaults of TPlacement.
std::optional<TStoredPlacement> ReadPlacement(const TKeyStore& store, int screenWidth,
                                              int screenHeight);

// ---------------------------------------------------------------------------
// Folder selections

struct TValuePath {
  std::string Key;
  std::string Name;
  bool operator==(const TValuePath&) const = default;
};

// Splits "key\name" at its last separator, "/" and "\" both counting; the
// key part's separators all become "\" so a path makes a chain of subkeys.
TValuePath SplitValuePath(std::string_view keyAndName);
// The value holding a folder's selection: baseKey, a separator and name,
// split as above.
TValuePath SelectionValue(std::string_view baseKey, std::string_view name);

// Ticked unless the stored text, lower-cased, is exactly "n". A folder
// never stored is ticked; a read failure counts as never stored.
bool ReadFolderSelection(const TKeyStore& store, std::string_view baseKey, std::string_view name);
// "y" or "n"; false when the store refused the name.
bool WriteFolderSelection(TKeyStore& store, std::string_view baseKey, std::string_view name,
                          bool ticked);

}  // namespace qb::wiz
