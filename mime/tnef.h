// The files a TNEF stream carries (Outlook's "winmail.dat", MIME type
// application/ms-tnef).
//
// The stream is walked attribute by attribute here, so that damage stays
// local: each attachment's attributes are handed to libytnef on their own,
// with their checksums made right, and one that libytnef refuses costs that
// attachment only (or only its long name). A stream cut short gives every
// attachment whose data arrived whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct TTnefFile {
  // The name as the stream carries it, the long name preferred, in UTF-8:
  // 8-bit names that are not valid UTF-8 are taken from the stream's code
  // page (Windows-1252 when it names none or an unknown one). "" when the
  // stream names none.
  std::string Name;
  std::string Bytes;
};

struct TTnefContent {
  // In stream order; the files of an attached message that is itself a
  // TNEF stream follow in its place.
  std::vector<TTnefFile> Files;
  // "" for a sound stream; otherwise what was wrong with it, first fault
  // only, as one short English sentence for a log line.
  std::string Damage;
};

// True when bytes begin with the TNEF signature.
bool IsTnefStream(std::string_view bytes);

// Never throws for any input (only std::bad_alloc), never reads outside
// bytes, and ends in time linear in its size.
TTnefContent DecodeTnef(std::string_view bytes);

}  // namespace qb
