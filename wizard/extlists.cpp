// The include and exclude extension lists of the Options page.
//
// For now the lists hold the shipped entries, all ticked, and are neither
// stored nor editable.
#include <QListWidget>

#include "wizard/oMain.h"

namespace qb::wiz {

namespace {

void Fill(QListWidget* list, std::initializer_list<const char*> entries) {
  list->clear();
  for (const char* e : entries) {
    auto* item = new QListWidgetItem(QString::fromLatin1(e), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  }
}

}  // namespace

void TfrmOEMain::InitExtensionLists() {
  Fill(lbIncludeExtensions,
       {"BMP", "GIF",  "DIB",  "JPG", "JPEG", "JPE",  "JP2",  "JPC", "J2K", "PCX", "PNG",
        "TGA", "TIFF", "TIFF", "AVI", "MPEG", "MPG",  "MPE",  "MOV", "RM",  "RAM", "ASF",
        "ASX", "WM",   "WMX",  "WMP", "M1V",  "MP2V", "MPV2", "IVF", "WVX", "WAV", "DAT",
        "WMV", "M3U",  "MP3",  "ZIP", "RAR",  "DOC",  "PDF",  "EML", "TXT"});
  Fill(lbExcludeExtensions,
       {"VBS", "VB",   "JS",    "COM", "BAT", "PIF",  "BIN", "DLL", "EXE", "SCR",
        "HTM", "HTML", "SHTML", "PHP", "ASP", "ASPX", "PL",  "CGI", "EML", "CFM"});
}

void TfrmOEMain::LoadExtensionLists() {}
void TfrmOEMain::StoreExtensionLists() {}
void TfrmOEMain::btIncludeExtAddClick() {}
void TfrmOEMain::btIncludeExtEditClick() {}
void TfrmOEMain::btIncludeExtDeleteClick() {}
void TfrmOEMain::btExcludeExtAddClick() {}
void TfrmOEMain::btExcludeExtEditClick() {}
void TfrmOEMain::btExcludeExtDeleteClick() {}

}  // namespace qb::wiz
