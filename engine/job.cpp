#include "engine/job.h"

#include "platform/i18n.h"

namespace qb {

namespace {
struct StatusEntry {
  const char* text;
  int image;
};
// The texts are translated when shown (DisplayText), so they are marked for
// the catalogue here.
constexpr StatusEntry kStatuses[] = {
    {N_("Waiting"), 0},       {N_("Starting"), 3}, {N_("Progress"), 3},
    {N_("Finished"), 1},      {N_("Stopped"), 2},  {N_("Error Opening Mailbox"), 2},
    {N_("Not Available"), 2}, {N_("Error"), 2},    {N_("Ok"), 1},
    {N_("No File"), 2},       {N_("Skipped"), 2},
};
}  // namespace

std::string TFolderStatus::Text(int code) {
  if (code < 0 || code > 10) return "";
  return kStatuses[code].text;
}

std::string TFolderStatus::DisplayText(int code) {
  return Translate(Text(code));
}

int TFolderStatus::ImageIndex(int code) {
  if (code < 0 || code > 10) return -1;
  return kStatuses[code].image;
}

}  // namespace qb
