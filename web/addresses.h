// The e-mail addresses collected from processed messages ("Get Email
// addresses from the Mails"): the From, To and Cc addresses of a message and
// the "mailto:" targets of its HTML body, kept between runs in one text file
// below the application-data folder, one address a line.
//
// Two addresses are the same when they are equal after ASCII lower-casing;
// the list keeps the spelling seen first, in the order first seen.
//
//   TAddressHarvester harvester;          // at the start of a run
//   harvester.AddMessage(message);        // once per processed message
//   harvester.Flush();                    // at the end of the run
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/worker.h"
#include "mime/MoxMsg.h"

namespace qb {

// Below the application-data folder.
inline constexpr const char* kGrabbedAddressesPath = "Quillbox/GrabbedEmails.txt";

// AppDataDir() + "/" + kGrabbedAddressesPath.
std::string DefaultGrabbedAddressesPath();

// One address as found in a header or a "mailto:" target, made plain:
// blanks, angle brackets and quotes around it removed, a leading "mailto:"
// and a trailing "?query" dropped, "%XX" escapes decoded. "" when what is
// left is not an address (no "@", an empty local part or domain, blanks,
// control bytes or list punctuation inside).
std::string CleanAddress(std::string_view text);

// The addresses of one message, cleaned, in the order From, To, Cc, HTML
// "mailto:" targets (a target naming several addresses gives each); not
// de-duplicated.
std::vector<std::string> MessageAddresses(const TMoxMsg& message);

// The addresses of the "mailto:" targets of an HTML text, cleaned.
std::vector<std::string> HTMLAddresses(const TStringList& htmlLines);

// The stored list, read and written whole.
class TAddressBook {
 public:
  explicit TAddressBook(std::string path = DefaultGrabbedAddressesPath());

  const std::string& Path() const { return path_; }
  const std::vector<std::string>& Addresses() const { return addresses_; }
  int Count() const { return static_cast<int>(addresses_.size()); }

  // Replaces the list by the file's lines (blank lines and repeats dropped).
  // A missing file is an empty list; false when the file exists but cannot
  // be read (the list is then empty).
  bool Load();
  // Appends address (already cleaned) unless it is there; true when added.
  bool Add(const std::string& address);
  void Clear();

  // The list as text, one address a line.
  std::string Text() const;
  // Writes the list to its file (creating the folder), replacing the file
  // atomically. Throws std::runtime_error on failure.
  void Save() const;
  // Writes the list to another file ("Save As"). Throws std::runtime_error.
  void SaveTo(const std::string& path) const;

 private:
  std::string path_;
  std::vector<std::string> addresses_;
  std::unordered_set<std::string> keys_;  // lower-cased
};

// The collecting side of a run. Collects in memory and adds what it found
// to the stored list when flushed; the file is read again then, so a list
// emptied meanwhile by "Delete All" stays empty but for this run's finds.
class TAddressHarvester : public IAddressHarvest {
 public:
  explicit TAddressHarvester(std::string path = DefaultGrabbedAddressesPath());
  ~TAddressHarvester() override;
  TAddressHarvester(const TAddressHarvester&) = delete;
  TAddressHarvester& operator=(const TAddressHarvester&) = delete;

  void AddMessage(const TMoxMsg& message) override;
  void AddAddress(std::string_view text) override;
  void AddHTMLTargets(const std::string& html) override;

  // Addresses found since the last flush, first spellings in order.
  const std::vector<std::string>& Pending() const { return pending_; }

  // Merges the pending addresses into the stored list and writes it. False
  // when the file could not be written (the pending addresses are kept for
  // the next try). Never throws.
  bool Flush() override;

 private:
  std::string path_;
  std::vector<std::string> pending_;
  std::unordered_set<std::string> keys_;
};

}  // namespace qb
