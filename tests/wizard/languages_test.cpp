// The window in German and French: its captions come from the catalogues the
// build compiles, and every caption has the room its text needs.
#include <locale.h>

#include <filesystem>

#include <QTest>

#include "platform/i18n.h"
#include "tests/wizard/wizardtest.h"

namespace qb::wiztest {

namespace {

// The window's language while it lives: LANGUAGE, a messages locale under
// which it counts, and the catalogues beside the build's programs.
class TLanguage {
 public:
  explicit TLanguage(const char* language)
      : env_("LANGUAGE", language), old_(setlocale(LC_MESSAGES, nullptr)) {
    setlocale(LC_MESSAGES, "C.UTF-8");
    BindMessageCatalogue(
        (std::filesystem::path(QB_CLI_PATH).parent_path() / "data" / "locale").string());
  }
  ~TLanguage() {
    setlocale(LC_MESSAGES, old_.c_str());
    BindMessageCatalogue(MessageCatalogueDir());
  }
  TLanguage(const TLanguage&) = delete;
  TLanguage& operator=(const TLanguage&) = delete;

 private:
  test::ScopedEnv env_;
  std::string old_;
};

// Every caption of the labels and buttons below parent.
QStringList Captions(QWidget* parent) {
  QStringList out;
  for (QLabel* l : parent->findChildren<QLabel*>()) out << l->text();
  for (QAbstractButton* b : parent->findChildren<QAbstractButton*>()) out << b->text();
  if (auto* tree = parent->findChild<QTreeWidget*>(QStringLiteral("elTreeStatus")))
    for (int c = 0; c < tree->columnCount(); ++c) out << tree->headerItem()->text(c);
  return out;
}

// The labels and buttons of window that are shown but narrower than their
// text, as "name: caption (width < needed)".
QStringList Clipped(QWidget* window) {
  QStringList out;
  auto check = [&](QWidget* w, const QString& text) {
    if (!w->isVisibleTo(window) || w->minimumWidth() == w->maximumWidth()) return;
    if (w->width() < w->sizeHint().width())
      out << QStringLiteral("%1: %2 (%3 < %4)")
                 .arg(w->objectName(), text)
                 .arg(w->width())
                 .arg(w->sizeHint().width());
  };
  for (QLabel* l : window->findChildren<QLabel*>())
    if (!l->wordWrap() && !l->text().isEmpty()) check(l, l->text());
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) check(b, b->text());
  return out;
}

struct TCaption {
  const char* Language;
  const char* Page;  // "" for the button bar
  const char* Text;
};

const TCaption kCaptions[] = {
    {"de", "", "&Weiter >"},
    {"de", "", "< &Zurück"},
    {"de", "", "Schließen"},
    {"de", "Welcome", "Willkommen bei Quillbox"},
    {"de", "Welcome", "Eingebettete Bilder aus dem Internet herunterladen."},
    {"de", "OEChoose", "Outlook-Express-Ordner direkt wählen."},
    {"de", "OEFolderSelect", "Alle auswählen"},
    {"de", "OEFolderSelect", "Weitersuchen"},
    {"de", "Options", "Nur im Zeitraum"},
    {"de", "Options", "Einschlussliste"},
    {"de", "Options2", "Zielverzeichnis"},
    {"de", "Options2", "Absender\\Datum\\Betreff\\Ursprünglicher Dateiname des Anhangs"},
    {"de", "Processing", "Bereit..."},
    {"de", "Processing", "Extrahiert"},
    {"de", "NetscapeChoose", "Ein Netscape-Profil wählen."},
    {"fr", "", "&Suivant >"},
    {"fr", "", "< &Précédent"},
    {"fr", "Welcome", "Bienvenue dans Quillbox"},
    {"fr", "Options", "Extraire TOUS les fichiers."},
    {"fr", "Options2", "Dossier de destination"},
    {"fr", "Processing", "État"},
};

const char* const kPages[] = {"Welcome",       "OEChoose",       "OEFolderSelect",
                              "OutlookChoose", "Options",        "Options2",
                              "Processing",    "NetscapeChoose", "NSFolderSelect"};

}  // namespace

class WindowLanguages : public QObject {
  Q_OBJECT
 private slots:
  void captionsComeFromTheCatalogue() {
    for (const TCaption& c : kCaptions) {
      TLanguage language(c.Language);
      TWindow w;
      QWidget* where = *c.Page ? w->Page(QString::fromLatin1(c.Page)) : w.Window.get();
      QVERIFY2(where, c.Page);
      QVERIFY2(Captions(where).contains(QString::fromUtf8(c.Text)),
               qPrintable(QStringLiteral("%1 %2: no \"%3\" in %4")
                              .arg(QLatin1String(c.Language), QLatin1String(c.Page),
                                   QString::fromUtf8(c.Text),
                                   Captions(where).join(QStringLiteral(" | ")))));
    }
  }

  void englishStaysAsWritten() {
    TLanguage language("en");
    TWindow w;
    QCOMPARE(w->btNext->text(), QStringLiteral("Next &>"));
    QCOMPARE(w->lbOEStatus->text(), QStringLiteral("Ready..."));
  }

  void everyCaptionFits() {
    for (const char* lang : {"en", "de", "fr"}) {
      TLanguage language(lang);
      TWindow w;
      w->show();
      for (const char* name : kPages) {
        QWidget* page = w->Page(QString::fromLatin1(name));
        w->ShowPage(page);
        QApplication::processEvents();
        // The page shown and the button bar.
        const QStringList clipped = Clipped(w.Window.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(QStringLiteral("%1 %2: %3")
                                                   .arg(QLatin1String(lang), QLatin1String(name),
                                                        clipped.join(QStringLiteral("; ")))));
      }
    }
  }
};
QB_WIZARD_TEST(WindowLanguages);

}  // namespace qb::wiztest

#include "languages_test.moc"
