#include "engine/job.h"

#include "platform/i18n.h"

namespace qb {

namespace {
struct StatusEntry {
  const char* text;
  int image;
};
constexpr StatusEntry kStatuses[] = {
    {"Waiting", 0},       {"Starting", 3}, {"Progress", 3},
    {"Finished", 1},      {"Stopped", 2},  {"Error Opening Mailbox", 2},
    {"Not Available", 2}, {"Error", 2},    {"Ok", 1},
    {"No File", 2},       {"Skipped", 2},
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
