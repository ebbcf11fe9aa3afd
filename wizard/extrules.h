// The two extension lists of the options page without their controls: the
// shipped entries, the rule that tells two entries apart, the checks of the
// Add and Edit dialogs, and the lists' place in the per-user key store.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/i18n.h"

namespace qb {
class TKeyStore;
}

namespace qb::wiz {

struct TExtEntry {
  std::string Text;  // UTF-8, as typed (untrimmed)
  bool Checked = false;
  bool operator==(const TExtEntry&) const = default;
};
using TExtList = std::vector<TExtEntry>;

enum class TExtListKind { Include, Exclude };

// The entries shipped with the program, in order ("TIFF" twice in the
// include list).
std::span<const std::string_view> ShippedExtensions(TExtListKind kind);
TExtList ShippedExtList(TExtListKind kind);  // every entry ticked
std::string_view ExtListKey(TExtListKind kind);

// Two texts are the same extension when they are equal after trimming and
// folding a-z to upper case.
bool SameExtension(std::string_view a, std::string_view b);

// Messages of the editing dialogs, in English; the window shows them
// through the message catalogue.
inline constexpr std::string_view kAddCaption = N_("Add new Extension");
inline constexpr std::string_view kAddPrompt = N_("Extension");
inline constexpr std::string_view kEditCaption = N_("Edit Extension Name");
inline constexpr std::string_view kEditPrompt = N_("Extension Name");
inline constexpr std::string_view kInvalidName = N_("You should enter a valid name.");
inline constexpr std::string_view kDuplicateName =
    N_("You already have a Extension name. Please enter a new name.");
inline constexpr std::string_view kNothingToEdit =
    N_("You dont have any Extensions to Edit. \r\n\r\nAdd some before editing.");
inline constexpr std::string_view kSelectToEdit =
    N_("Please select a Extension before trying to edit.");
inline constexpr std::string_view kSelectToDelete =
    N_("Please select a Extension before trying to delete.");
// The include and exclude lists word these two differently.
std::string_view NothingToDeleteMessage(TExtListKind kind);
std::string_view ConfirmDeleteMessage(TExtListKind kind);

// The error a new text for the entry at index skip (-1 for a new entry)
// gets: kInvalidName when blank, kDuplicateName when another entry is the
// same extension; nullopt when it is accepted.
std::optional<std::string_view> CheckExtensionText(const TExtList& list, std::string_view text,
                                                   int skip = -1);

// The entries of the list's key in enumeration order, ticked by their flag.
// Throws EKeyStoreError when a value is not a 32-bit integer.
TExtList LoadExtList(const TKeyStore& store, TExtListKind kind);
// Replaces the key's values by one flag per entry in list order. Values are
// deleted and written one by one; one that the store refuses is skipped.
void StoreExtList(TKeyStore& store, TExtListKind kind, const TExtList& list);

struct TExtLists {
  TExtList Include, Exclude;
  // Set when the stored lists could not be read: the lists are then the
  // shipped ones, and this is the text to show the user once.
  std::string Error;
};
// Start-up: the stored lists when "newValue" exists under the options key;
// otherwise (first start) writes "newValue" = "y" and the shipped lists,
// every entry ticked.
TExtLists InitOrLoadExtLists(TKeyStore& store);

}  // namespace qb::wiz
