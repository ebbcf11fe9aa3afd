// quillbox: the desktop wizard.
#include <QApplication>

#include "platform/keystore.h"
#include "wizard/oMain.h"
#include "wizard/periphery.h"
#include "wizard/qtdesktop.h"
#include "wizard/settings.h"
#include "wizard/soundplayer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillbox"));
  QApplication::setApplicationVersion(QString::fromLatin1(qb::wiz::kProductVersion));
  QApplication::setWindowIcon(qb::wiz::ProductIcon());

  qb::wiz::TQtDesktop desktop;
  desktop.SoundPlayer = [](const QString& file) {
    qb::wiz::PlaySoundFileAndWait(file.toStdString());
  };
  qb::wiz::TfrmOEMain window(desktop, qb::UserKeyStore());
  qb::wiz::SaveOnTerminationSignals(window);
  window.show();
  return app.exec();
}
