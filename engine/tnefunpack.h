// Outlook's winmail.dat unpacked: the files a TNEF attachment carries join
// the message's attachments right after it, so that they are named,
// filtered, numbered on collision, counted and recorded as any other
// attachment. The winmail.dat itself stays in the list and follows the
// extension lists as any ".dat" file does.
#pragma once

#include <string>
#include <vector>

#include "engine/naming.h"

namespace qb {

// True for an attachment that may be a TNEF stream: its part declares
// application/ms-tnef (or application/vnd.ms-tnef), or it is called
// winmail.dat (any case).
bool MayBeTnef(const TAttachmentToWrite& attachment);

// A TNEF attachment that was damaged: its name and what was wrong.
struct TTnefNote {
  std::string FileName;
  std::string Damage;
};

// Puts after each TNEF attachment the files it carries, in order. A TNEF
// attachment is read once here and then written from what was read. A
// damaged stream gives what could be decoded and one note; a winmail.dat
// that is no TNEF stream at all is left alone without a note unless its
// part declared the TNEF type. An attachment that cannot be read is left
// for the writing to report.
std::vector<TTnefNote> UnpackTnefAttachments(std::vector<TAttachmentToWrite>& attachments);

// "Damaged TNEF Attachment " + name + " of Message(" + number + ") in " +
// folder + " - " + what was wrong.
std::string TnefDamageLine(const TTnefNote& note, const std::string& messageNumber,
                           const std::string& folder);

}  // namespace qb
