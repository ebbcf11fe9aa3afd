// quillbox-cli folders / messages / raw / dump: the .dbx reader on its own.
#include <climits>
#include <string>
#include <vector>

#include "app/commands.h"
#include "oestore/dbxreader.h"
#include "oestore/folderlist.h"
#include "platform/i18n.h"

namespace qb::cli {
namespace {

// The POSITION argument: a file position the reader can take.
bool ParsePosition(const std::string& text, std::int32_t& position) {
  unsigned long long v = 0;
  if (!ParseNumber(text, v) || v > static_cast<unsigned long long>(INT32_MAX)) return false;
  position = static_cast<std::int32_t>(v);
  return true;
}

int Folders(const std::vector<std::string>& args) {
  if (args.size() != 1)
    return UsageError("folders",
                      Translate(args.empty() ? N_("missing STORE_DIR") : N_("too many arguments")));
  std::vector<Toe5_FolderInfo> folders;
  try {
    folders = LoadOEFolderList(args[0]);
  } catch (const std::exception& e) {
    return Fail(UserErrorText(e));
  }
  for (const Toe5_FolderInfo& f : folders)
    OutRecord({std::to_string(f.FolderId), std::to_string(f.ParentId), f.FolderName, f.FileName});
  return kOk;
}

int Messages(const std::vector<std::string>& args) {
  if (args.size() != 2)
    return UsageError("messages", Translate(args.size() < 2 ? N_("missing arguments")
                                                            : N_("too many arguments")));
  TDbxIndexList list;
  try {
    LoadDbxIndex(args[0], args[1], &list);
  } catch (const std::exception& e) {
    return Fail(UserErrorText(e));
  }
  for (const Toe5_MessageInfo& m : MessageRecords(list))
    OutRecord({std::to_string(m.MessageNumber), std::to_string(m.MessageDataPos),
               std::to_string(m.ObjectPos), m.Subject});
  return kOk;
}

// raw and dump: STORE_DIR FILE POSITION.
int AtPosition(const std::string& command, const std::vector<std::string>& args,
               void (*read)(const std::string&, const std::string&, std::int32_t, std::string&)) {
  if (args.size() != 3)
    return UsageError(
        command, Translate(args.size() < 3 ? N_("missing arguments") : N_("too many arguments")));
  std::int32_t position = 0;
  if (!ParsePosition(args[2], position))
    return UsageError(command, Translate("POSITION must be a number from 0 to 2147483647"));
  std::string text;
  try {
    read(args[0], args[1], position, text);
  } catch (const std::exception& e) {
    return Fail(UserErrorText(e));
  }
  Out(text);
  return kOk;
}

const Register kFolders({"folders", N_("STORE_DIR"),
                         N_("the folder records of STORE_DIR/folders.dbx: folder id, parent id, "
                            "folder name, file name"),
                         Folders});
const Register kMessages({"messages", N_("STORE_DIR FILE"),
                          N_("the message records of a folder file in index order: message number, "
                             "message data position, object position, subject"),
                          Messages});
const Register kRaw({"raw", N_("STORE_DIR FILE POSITION"),
                     N_("the raw message text whose first data block is at POSITION"),
                     [](const std::vector<std::string>& a) {
                       return AtPosition("raw", a, &LoadDbxMessageText);
                     }});
const Register kDump(
    {"dump", N_("STORE_DIR FILE POSITION"), N_("the dump of the object at POSITION"),
     [](const std::vector<std::string>& a) { return AtPosition("dump", a, &DumpDbxObject); }});

}  // namespace
}  // namespace qb::cli
