// The window as it opens.
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "tests/wizard/wizardtest.h"

namespace qb::wiztest {

class WindowOpens : public QObject {
  Q_OBJECT
 private slots:
  void showsTheAboutBoxThenWelcome() {
    TWindow w;
    QCOMPARE(w.Desktop.CallsOf("ShowAbout").size(), size_t(1));
    QCOMPARE(w.Page(), std::string("Welcome"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Quillbox 2.0"));
    QVERIFY(!w->btBack->isEnabled());
    QVERIFY(w->btNext->isDefault());
  }
};
QB_WIZARD_TEST(WindowOpens);

}  // namespace qb::wiztest

#include "smoke_test.moc"
