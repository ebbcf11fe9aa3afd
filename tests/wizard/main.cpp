// The window tests: every registered QtTest class, on the offscreen platform.
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QApplication>
#include <QTest>

#include "tests/support/testsupport.h"

namespace qb::wiztest {
std::map<std::string, std::function<QObject*()>>& TestClasses();
}

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Makes sure the per-user folders point below the build tree.
  (void)qb::test::SourceDir();
  QApplication app(argc, argv);
  std::string only;
  if (argc > 1 && argv[1][0] != '-') {
    only = argv[1];
    --argc;
    ++argv;
  }
  int failed = 0;
  for (auto& [name, make] : qb::wiztest::TestClasses()) {
    if (!only.empty() && name != only) continue;
    std::unique_ptr<QObject> test(make());
    failed += QTest::qExec(test.get(), argc, argv);
  }
  return failed == 0 ? 0 : 1;
}
