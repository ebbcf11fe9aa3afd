// The window's own texts through the message catalogue: Tr("Close") is the
// catalogue's translation of "Close" as a QString ("Close" itself without
// one). xgettext collects Tr(...) like Translate(...); a text kept in a
// constant is marked with N_ and passed through Tr where it is shown.
#pragma once

#include <locale.h>

#include <QLocale>
#include <QString>
#include <string>
#include <string_view>

#include "platform/i18n.h"

namespace qb::wiz {

inline QString Tr(const char* text) {
  return QString::fromStdString(Translate(text));
}

inline QString Tr(std::string_view text) {
  return QString::fromStdString(Translate(std::string(text)));
}

// Under the C locale with LANGUAGE naming a catalogue, dates and numbers
// follow the catalogue's language too, as they would under its locale.
inline void FollowCatalogueLanguage() {
  // Qt names the system locale after LANGUAGE but formats by LC_TIME.
  const char* time = ::setlocale(LC_TIME, nullptr);
  const std::string_view t = time ? time : "C";
  if (t != "C" && t != "POSIX" && !t.starts_with("C.")) return;
  if (const std::string language = CatalogueLanguage(); !language.empty())
    QLocale::setDefault(QLocale(QString::fromStdString(language)));
}

}  // namespace qb::wiz
