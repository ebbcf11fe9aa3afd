// The input limits: how far the program follows what a store, a mailbox,
// a profile or a server hands it. Each guards against damaged or hostile
// input (a loop, a runaway length) and is far beyond what real data needs.
// (How deep multiparts nest is a rule of the message parser:
// kMimeMaxNestingDepth in mime/parseroptions.h.)
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb {

// A mailbox message longer than this is reported as too large, not read.
inline constexpr std::uint64_t kMaxMailboxMessageBytes = 512ull << 20;
// Folders of a mail profile below this depth are not searched for mailboxes.
inline constexpr int kMaxProfileFolderDepth = 64;

// The largest file a link gives; a longer one is not kept.
inline constexpr std::uint64_t kMaxDownloadBytes = 256ull << 20;
// The longest one link's transfer may take in all, and without a byte moving.
inline constexpr long kTransferLimitMs = 60000;
inline constexpr long kStallLimitMs = 30000;
// The time all downloads of one message may take together.
inline constexpr long kMessageDownloadBudgetMs = 300000;

// A text or body of a .pst store longer than this is a damaged record.
inline constexpr std::size_t kMaxPstTextBytes = 64u << 20;
// Folders of a .pst store below this depth are not walked (a damaged tree may loop).
inline constexpr int kMaxPstFolderDepth = 64;
// A search for a folder of a .pst store gives up after this many folders.
inline constexpr int kMaxPstFolderVisits = 100000;

// Largest .reg text imported into the key store (a whole exported profile is far smaller).
inline constexpr std::size_t kMaxRegFileSize = std::size_t{64} << 20;

}  // namespace qb
