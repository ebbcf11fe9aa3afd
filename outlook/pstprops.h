// The MAPI properties the .pst provider reads, and the one binary record it
// takes apart. Tags are the property identifiers as libpff names entries.
#pragma once

#include <cstdint>

namespace qb::pst {

// Value types of an entry.
inline constexpr uint32_t kTypeString8 = 0x001e;  // 8-bit text in the file's code page
inline constexpr uint32_t kTypeUnicode = 0x001f;  // UTF-16LE text

// Message store.
inline constexpr uint32_t kIpmSubtreeEntryId = 0x35e0;  // entry id of "Top of Personal Folders"
// Layout of that entry id (24 bytes in a .pst):
//   offset  0, 4 bytes: flags (0)
//   offset  4, 16 bytes: the store's provider UID
//   offset 20, 4 bytes: node identifier of the folder, little-endian
// The node identifier is always the last four bytes.

// Any item.
inline constexpr uint32_t kDisplayName = 0x3001;     // folder name, store name, recipient name
inline constexpr uint32_t kEmailAddress = 0x3003;    // recipient's address (as its type gives it)
inline constexpr uint32_t kContainerClass = 0x3613;  // folder kind: "IPF.Note", "IPF.Contact", ...

// Message.
inline constexpr uint32_t kSubject = 0x0037;             // may start with 0x01 + prefix length
inline constexpr uint32_t kSenderName = 0x0c1a;          // sender's display name
inline constexpr uint32_t kSenderEmailAddress = 0x0c1f;  // sender's address

// Recipient (one record set of the recipients table each).
inline constexpr uint32_t kRecipientType = 0x0c15;  // 1 To, 2 Cc, 3 Bcc
inline constexpr uint32_t kSmtpAddress = 0x39fe;    // SMTP address when the address is not one

// Attachment.
inline constexpr uint32_t kAttachFilename = 0x3704;      // short (8.3) file name
inline constexpr uint32_t kAttachLongFilename = 0x3707;  // long file name

}  // namespace qb::pst
