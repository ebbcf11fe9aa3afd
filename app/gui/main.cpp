// quillbox: the desktop wizard.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/i18n.h"

#include "platform/keystore.h"
#include "wizard/oMain.h"
#include "wizard/periphery.h"
#include "wizard/qtdesktop.h"
#include "wizard/settings.h"
#include "wizard/soundplayer.h"
#include "wizard/uitext.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  qb::HonourLanguageVariable();
  qb::wiz::FollowCatalogueLanguage();
  // Qt's own texts (the buttons of message boxes, the file dialogs) in the
  // language of the window's own.
  QTranslator qtTexts;
  if (const std::string language = qb::CatalogueLanguage();
      !language.empty() &&
      qtTexts.load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
  QApplication::setApplicationName(QStringLiteral("Quillbox"));
  QApplication::setApplicationVersion(QString::fromLatin1(qb::wiz::kProductVersion));
  QApplication::setWindowIcon(qb::wiz::ProductIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("quillbox"));  // the menu entry's icon

  qb::wiz::TQtDesktop desktop;
  desktop.SoundPlayer = [](const QString& file) {
    qb::wiz::PlaySoundFileAndWait(file.toStdString());
  };
  qb::wiz::TfrmOEMain window(desktop, qb::UserKeyStore());
  qb::wiz::SaveOnTerminationSignals(window);
  window.show();
  return app.exec();
}
