// quillbox-cli identities, quillbox-cli import-registry FILE.reg
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "oestore/identities.h"
#include "platform/i18n.h"
#include "platform/keystore.h"
#include "platform/paths.h"

namespace qb::cli {
namespace {

// A store file that could not be loaded is worth a warning: the commands go
// on with an empty store, and the damaged file is kept aside.
void WarnIfDamaged(const TKeyStore& store) {
  std::string error = store.LoadError();
  if (!error.empty())
    std::fprintf(stderr, "quillbox-cli: %s\n",
                 Substitute(Translate("warning: the key store could not be loaded and is taken as "
                                      "empty (%1); it is moved to %2.damaged when next written"),
                            {error, store.Path()})
                     .c_str());
}

int Identities(const std::vector<std::string>& args) {
  if (!args.empty())
    return UsageError("identities", Substitute(Translate("unexpected argument '%1'"), {args[0]}));
  TKeyStore& store = UserKeyStore();
  WarnIfDamaged(store);
  std::vector<std::string> names, roots;
  ListOEIdentities(names, roots, store);
  for (size_t i = 0; i < names.size(); ++i) OutRecord({names[i], roots[i]});
  return kOk;
}

int ImportRegistry(const std::vector<std::string>& args) {
  if (args.size() != 1)
    return UsageError("import-registry",
                      Translate(args.empty() ? N_("missing FILE.reg") : N_("too many arguments")));
  const std::string& file = args[0];
  auto bytes = ReadWholeFile(file);
  if (!bytes) return Fail(Substitute(Translate("cannot read %1"), {file}));
  TKeyStore& store = UserKeyStore();
  WarnIfDamaged(store);
  TRegImportStats stats;
  try {
    stats = store.ImportRegText(*bytes);
  } catch (const ERegParseError& e) {
    return Fail(Substitute(Translate("%1: %2; nothing was imported"), {file, UserErrorText(e)}));
  } catch (const EKeyStoreError& e) {
    return Fail(Substitute(Translate("cannot save the key store: %1"), {UserErrorText(e)}));
  }
  std::string note =
      Substitute(Translate("Imported %1 values in %2 keys from %3 into %4"),
                 {std::to_string(stats.Values), std::to_string(stats.Keys), file, store.Path()});
  if (stats.Deleted)
    note += Substitute(Translate(", %1 deletions"), {std::to_string(stats.Deleted)});
  if (stats.Ignored)
    note += Substitute(Translate("; %1 keys outside HKEY_CURRENT_USER skipped"),
                       {std::to_string(stats.Ignored)});
  std::fprintf(stderr, "%s\n", note.c_str());
  return kOk;
}

Register identities({"identities", "",
                     N_("list the Outlook Express identities: name TAB store root, one a line"),
                     Identities});
Register importRegistry({"import-registry", N_("FILE.reg"),
                         N_("merge the HKEY_CURRENT_USER keys of a .reg file (as exported on "
                            "Windows) into the key store"),
                         ImportRegistry});

}  // namespace
}  // namespace qb::cli
