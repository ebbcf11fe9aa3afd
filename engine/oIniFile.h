// The program's own INI store.
//
// The whole file is read into memory as an ordered list of sections, each
// holding its lines as read. Reads and writes work on that image; a flush
// writes the file when something changed. Text is 8-bit bytes.
//
// Format as written: for each section that has lines, "[" name "]", the
// lines, then an empty line; every line ends with CR LF.
//
// A flush never leaves a half-written file behind: either new sections that
// were only appended since the last flush are appended to the file, or the
// whole text goes to a temporary file in the same directory that is then
// renamed over the old one. Either way the file's bytes equal what a full
// rewrite would give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/datetime.h"
#include "platform/errors.h"

namespace qb {

using TStringList = std::vector<std::string>;

// Raised when the INI file cannot be opened, read, created or written.
class EInOutError : public EQuillboxError {
 public:
  explicit EInOutError(const std::string& what) : EQuillboxError(TErrorKind::InOut, what) {}
  EInOutError(const char* msgid, std::initializer_list<std::string> args)
      : EQuillboxError(TErrorKind::InOut, msgid, args) {}
  explicit EInOutError(const EQuillboxError& from) : EQuillboxError(TErrorKind::InOut, from) {}
};

// Raised by conversions that do not fall back to a default (ReadHexValue).
class EConvertError : public EQuillboxError {
 public:
  explicit EConvertError(const std::string& what)
      : EQuillboxError(TErrorKind::InputDamaged, what) {}
};

// Names, keys and short-form lines are cut to this many characters.
inline constexpr std::size_t kIniMaxText = 255;
// The text buffer used for file reads and writes.
inline constexpr std::size_t kIniBufferSize = 0x7000;

// Case-insensitive comparison of names and keys (ASCII letters fold).
bool IniSameText(const std::string& a, const std::string& b);

// Section names in file order, each with its lines. Lookups by name ignore
// case and start at a remembered position; an index of the names keeps them
// from scanning the list.
class TSectionList {
 public:
  TSectionList() = default;
  TSectionList(const TSectionList&) = delete;
  TSectionList& operator=(const TSectionList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Name(int i) const { return items_[static_cast<std::size_t>(i)].Name; }
  TStringList& Lines(int i) { return *items_[static_cast<std::size_t>(i)].Lines; }
  const TStringList& Lines(int i) const { return *items_[static_cast<std::size_t>(i)].Lines; }

  // The first section of that name (ignoring case) at or after the
  // remembered position, else the first one before it; a hit becomes the
  // remembered position. -1 when there is none.
  int IndexOf(const std::string& name);
  // The same search from a given start, leaving the remembered position
  // alone. start outside the list counts as 0.
  int FindFrom(const std::string& name, int start) const;
  // The first entry whose name, up to its first "=", equals name ignoring case.
  int IndexOfName(const std::string& name) const;

  // Appends an empty section; returns its index.
  int Add(const std::string& name);
  void Delete(int i);
  void Rename(int i, const std::string& name);
  // Keeps the sections whose flag is false, in order.
  void DeleteMarked(const std::vector<bool>& drop);
  void Clear();

  int Position() const { return position_; }
  void SetPosition(int position) { position_ = position; }

 private:
  struct TEntry {
    std::string Name;
    std::unique_ptr<TStringList> Lines;
  };
  void Reindex();

  std::vector<TEntry> items_;
  // Folded name -> indices of the sections of that name, ascending.
  std::unordered_map<std::string, std::vector<int>> index_;
  int position_ = 0;
};

class TBigIniFile {
 public:
  // Called for two sections of the same name found while loading: the
  // earlier and the later one's lines. True drops the later one, false the
  // earlier one.
  using TDuplicateSectionCallback = std::function<bool(
      const std::string& name, const TStringList& earlier, const TStringList& later)>;

  // Loads the file at once when the name is not empty (at most 255 characters).
  explicit TBigIniFile(const std::string& fileName = "");
  // Flushes (errors are swallowed here; call UpdateFile first to see them).
  virtual ~TBigIniFile();
  TBigIniFile(const TBigIniFile&) = delete;
  TBigIniFile& operator=(const TBigIniFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  // Flushes, frees all sections, takes the new name, loads it when not
  // empty and clears the modified flag.
  void SetFileName(const std::string& fileName);
  bool Modified() const { return modified_; }
  // Forgets that the image differs from the file, so that nothing is
  // written at the next flush or at destruction (the file stays as it is).
  void DiscardChanges() {
    modified_ = false;
    oldChanged_ = false;
    diskKnown_ = false;
  }

  // Set before SetFileName to take part in the merging of a load.
  TDuplicateSectionCallback OnDuplicateSection;

  // The six switches; all off unless a caller turns them on.
  bool ClearBeforeCopy = false;     // clear the target before copying a section's lines
  bool DropComments = false;        // drop lines whose first character is ";"
  bool DropLinesWithoutEq = false;  // drop lines without "="
  bool TrimAroundEq = false;        // remove blanks and tabs around the first "="
  bool Unquote = false;             // remove a matching pair of quotes around the value
  bool TrimTrailing = false;        // remove trailing characters below 0x21

  virtual void LoadFromFile(const std::string& fileName);
  virtual void Clear();
  virtual void DeleteKey(const std::string& section, const std::string& key);
  virtual void EraseSection(const std::string& section);
  // Flushes when modified. Raises EInOutError when the file cannot be
  // written; the file then keeps its old content and the store stays modified.
  virtual void UpdateFile();
  virtual bool SectionExists(const std::string& section);
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue);
  // Appends every section with lines as "[" name "]", its lines, "".
  virtual void ReadAll(TStringList& list) const;
  virtual bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
  virtual TDateTime ReadDate(const std::string& section, const std::string& key,
                             TDateTime defaultValue);
  virtual TDateTime ReadDateTime(const std::string& section, const std::string& key,
                                 TDateTime defaultValue);
  virtual double ReadFloat(const std::string& section, const std::string& key, double defaultValue);
  // Decimal, or hexadecimal after "$", "0x" or "0X"; anything else gives
  // the default.
  virtual int ReadInteger(const std::string& section, const std::string& key, int defaultValue);
  virtual void ReadSection(const std::string& section, TStringList& keys);
  virtual void ReadSections(TStringList& sections) const;
  virtual void ReadSectionValues(const std::string& section, TStringList& lines);
  // ReadString cut to 255 characters.
  virtual std::string ReadShortString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue);
  virtual TDateTime ReadTime(const std::string& section, const std::string& key,
                             TDateTime defaultValue);
  virtual void Flush() { UpdateFile(); }
  virtual bool ValueExists(const std::string& section, const std::string& key);
  // Sets a key; the line is kept whole at any length.
  virtual void WriteString(const std::string& section, const std::string& key,
                           const std::string& value);
  virtual void WriteBool(const std::string& section, const std::string& key, bool value);
  virtual void WriteDate(const std::string& section, const std::string& key, TDateTime value);
  virtual void WriteDateTime(const std::string& section, const std::string& key, TDateTime value);
  virtual void WriteFloat(const std::string& section, const std::string& key, double value);
  virtual void WriteInteger(const std::string& section, const std::string& key, int value);
  // Sets a key; the line is cut to 255 characters.
  virtual void WriteShortString(const std::string& section, const std::string& key,
                                const std::string& value);
  virtual void WriteTime(const std::string& section, const std::string& key, TDateTime value);

  // The file text a full rewrite would write now.
  std::string FileText() const;
  const TSectionList& Sections() const { return sections_; }

 protected:
  // Finds the key's section from the last found one, wrapping around; with
  // create, a missing section is appended. Returns the section (-1 when
  // missing and not created) and the key's line (-1 when missing).
  struct TKeyPos {
    int Section = -1;
    int Line = -1;
  };
  TKeyPos FindKey(const std::string& section, const std::string& key, bool create);
  int FindSection(const std::string& section, bool create);
  void WriteLine(const std::string& section, const std::string& key, const std::string& line);
  // Marks the store modified by a change of section i.
  void Touch(int section);
  // Marks a change that may move or remove sections already on disk.
  void TouchAll();
  std::string RawValue(const std::string& section, const std::string& key, bool& found);

  std::string fileName_;
  int lastFound_ = 0;
  bool modified_ = false;
  TSectionList sections_;
  std::size_t bufferSize_ = kIniBufferSize;

  // What the file on disk holds: the text of the first flushedCount_
  // sections as of the last load or flush, when diskKnown_. A flush may
  // append when only sections past flushedCount_ changed since.
  bool diskKnown_ = false;
  bool oldChanged_ = false;
  int flushedCount_ = 0;
  std::uint64_t diskSize_ = 0;
  std::uint64_t diskDev_ = 0, diskIno_ = 0;

 private:
  void ParseText(const std::string& text);
  void MergeDuplicates();
  void NoteDiskState(const std::string& written);
};

// A small font description of our own; the font spec fields map onto it.
struct TFontRecord {
  std::string Name;
  int Size = 0;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  std::uint32_t Color = 0;  // 0x00BBGGRR
  int Charset = 1;
  int Pitch = 0;
};

// The fields of one comma-separated value. Fields holding a comma, a double
// quote or surrounding blanks are written in double quotes (inner quotes
// doubled).
class TCommaSeparatedInfo {
 public:
  TCommaSeparatedInfo() = default;
  explicit TCommaSeparatedInfo(const std::string& text) { SetText(text); }
  virtual ~TCommaSeparatedInfo() = default;

  std::string Text() const;
  void SetText(const std::string& text);
  int Count() const { return static_cast<int>(fields_.size()); }
  // "" past the end.
  std::string Element(int i) const;
  // Grows the list with empty fields as needed.
  void SetElement(int i, const std::string& value);
  // -1 when the field does not parse as a decimal integer.
  int IntegerElement(int i) const;
  void SetIntegerElement(int i, int value);
  bool BoolElement(int i) const { return Element(i) == "1"; }
  void SetBoolElement(int i, bool value) { SetElement(i, value ? "1" : "0"); }
  TStringList& Fields() { return fields_; }

 protected:
  TStringList fields_;
};

// Font spec: name, size, bold, italic, underline, strikeout, colour,
// character set, pitch. The colour is written as 8 hexadecimal digits and
// read as hexadecimal when it parses as such, otherwise as a colour name.
class TCSIFont : public TCommaSeparatedInfo {
 public:
  using TCommaSeparatedInfo::TCommaSeparatedInfo;
  // Applies the fields present to the font.
  void ApplyTo(TFontRecord& font) const;
  void Assign(const TFontRecord& font);
};

class TBiggerIniFile : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;

  // The value as hexadecimal text, two digits per byte: fills up to
  // capacity bytes and returns the count; a bad pair gives 0.
  virtual std::size_t ReadBytes(const std::string& section, const std::string& key,
                                std::size_t capacity, void* buffer);
  // Raises EConvertError for text that is not hexadecimal.
  virtual std::uint32_t ReadHexValue(const std::string& section, const std::string& key,
                                     std::uint32_t defaultValue);
  virtual void ReadFontSpec(const std::string& section, const std::string& key, TFontRecord& font);
  virtual void RenameKey(const std::string& section, const std::string& oldKey,
                         const std::string& newKey);
  virtual void RenameSection(const std::string& oldName, const std::string& newName);
  virtual void WriteBytes(const std::string& section, const std::string& key, std::size_t count,
                          const void* buffer);
  virtual void WriteHexValue(const std::string& section, const std::string& key,
                             std::uint32_t value);
  virtual void WriteFontSpec(const std::string& section, const std::string& key,
                             const TFontRecord& font);
  // "Count" = list size, then "1", "2", ... = the items; the keys "1" to the
  // old count go first. Marks the store modified only when the lines changed.
  virtual void WriteCountedList(const std::string& section, const TStringList& list);
  // Makes the section's lines equal to the list.
  virtual void ReplaceSection(const std::string& section, const TStringList& list);
};

// Colour names understood in font specs ("clRed" ...).
bool ColorFromName(const std::string& name, std::uint32_t& color);

}  // namespace qb
