// The stored-settings layout and the extension-list rules, without a window.
#include <QLocale>
#include <QtTest>
#include <clocale>

#include "platform/keystore.h"
#include "wizard/extrules.h"
#include "wizard/settingslayout.h"

#include "tests/wizard/wizardtest.h"

namespace qb::wiztest {

using namespace qb::wiz;

class SettingsRules : public QObject {
  Q_OBJECT

 private slots:
  void encodings_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<double>("value");
    // check states: any letter case; nothing else
    QTest::newRow("True") << "bool"
                          << "True" << true << 1.0;
    QTest::newRow("tRUE") << "bool"
                          << "tRUE" << true << 1.0;
    QTest::newRow("FALSE") << "bool"
                           << "FALSE" << true << 0.0;
    QTest::newRow("yes") << "bool"
                         << "yes" << false << 0.0;
    QTest::newRow("1") << "bool"
                       << "1" << false << 0.0;
    QTest::newRow("empty bool") << "bool"
                                << "" << false << 0.0;
    // integers
    QTest::newRow("int 1") << "int"
                           << "1" << true << 1.0;
    QTest::newRow("int -1") << "int"
                            << "-1" << true << -1.0;
    QTest::newRow("int blanks") << "int"
                                << " 12 " << true << 12.0;
    QTest::newRow("int 1x") << "int"
                            << "1x" << false << 0.0;
    QTest::newRow("int empty") << "int"
                               << "" << false << 0.0;
    QTest::newRow("int huge") << "int"
                              << "99999999999" << false << 0.0;
    // dates: day counts; "," from exports written under such a locale
    QTest::newRow("date whole") << "date"
                                << "45000" << true << 45000.0;
    QTest::newRow("date half") << "date"
                               << "45000.5" << true << 45000.5;
    QTest::newRow("date comma") << "date"
                                << "45000,25" << true << 45000.25;
    QTest::newRow("date negative") << "date"
                                   << "-1.5" << true << -1.5;
    QTest::newRow("date word") << "date"
                               << "today" << false << 0.0;
    QTest::newRow("date year 10000") << "date"
                                     << "2958466" << false << 0.0;
    QTest::newRow("date nan") << "date"
                              << "nan" << false << 0.0;
  }
  void encodings() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(double, value);
    const std::string t = text.toStdString();
    if (kind == "bool") {
      auto v = DecodeChecked(t);
      QCOMPARE(v.has_value(), parses);
      if (v) QCOMPARE(*v, value != 0);
    } else if (kind == "int") {
      auto v = DecodeInteger(t);
      QCOMPARE(v.has_value(), parses);
      if (v) QCOMPARE(*v, static_cast<int>(value));
    } else {
      auto v = DecodeStoredDate(t);
      QCOMPARE(v.has_value(), parses);
      if (v) QCOMPARE(*v, value);
    }
  }

  // Written with "." and at most 15 significant digits whatever the locale.
  void datesIgnoreLocale() {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German));
    QCOMPARE(EncodeStoredDate(45000.5), std::string("45000.5"));
    QCOMPARE(EncodeStoredDate(45000), std::string("45000"));
    QCOMPARE(EncodeStoredDate(45000.0 + 1.0 / 3), std::string("45000.3333333333"));
    QCOMPARE(EncodeChecked(true), std::string("True"));
    std::setlocale(LC_ALL, saved.c_str());
    QLocale::setDefault(QLocale::c());
    if (!german) qInfo("de_DE.UTF-8 not installed; only the Qt locale was switched");
  }

  void windowsPaths_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("windows");
    QTest::newRow("drive dir") << "c:\\Attachments\\" << true;
    QTest::newRow("drive slash") << "D:/mail" << true;
    QTest::newRow("drive only") << "C:" << true;
    QTest::newRow("unc") << "\\\\server\\share" << true;
    QTest::newRow("linux") << "/home/u/Attachments/" << false;
    QTest::newRow("relative") << "ok.wav" << false;
    QTest::newRow("colon name") << "ab:\\x" << false;
    QTest::newRow("prompt text") << "Choose the Outlook Express Mail Folder" << false;
  }
  void windowsPaths() {
    QFETCH(QString, text);
    QFETCH(bool, windows);
    QCOMPARE(IsWindowsPath(text.toStdString()), windows);
  }

  void valueSplit_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("oe file") << "Software\\Quillbox\\OEFolderSelection"
                             << "Inbox.dbx"
                             << "Software\\Quillbox\\OEFolderSelection"
                             << "Inbox.dbx";
    QTest::newRow("linux mailbox")
        << "Software\\Quillbox\\TBFolderSelection"
        << "/home/u/Mail/Local Folders/Inbox"
        << "Software\\Quillbox\\TBFolderSelection\\\\home\\u\\Mail\\Local Folders"
        << "Inbox";
    QTest::newRow("windows mailbox") << "Software\\Quillbox\\NSFolderSelection"
                                     << "C:\\Mail\\Inbox"
                                     << "Software\\Quillbox\\NSFolderSelection\\C:\\Mail"
                                     << "Inbox";
    QTest::newRow("mixed") << "Software\\Quillbox\\NSFolderSelection"
                           << "C:\\Mail/Sent"
                           << "Software\\Quillbox\\NSFolderSelection\\C:\\Mail"
                           << "Sent";
    QTest::newRow("outlook path with slash")
        << "Software\\Quillbox\\OutlookFolderSelection"
        << "Personal FoldersIn/Out"
        << "Software\\Quillbox\\OutlookFolderSelection\\Personal FoldersIn"
        << "Out";
  }
  void valueSplit() {
    QFETCH(QString, base);
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QString, value);
    TValuePath v = SelectionValue(base.toStdString(), name.toStdString());
    QCOMPARE(QString::fromStdString(v.Key), key);
    QCOMPARE(QString::fromStdString(v.Name), value);
  }

  // Ticked unless stored as exactly "n" in any case; a mailbox path makes a
  // chain of subkeys and reads back through the same split.
  void folderSelection_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("y") << "y" << true;
    QTest::newRow("n") << "n" << false;
    QTest::newRow("N") << "N" << false;
    QTest::newRow("no") << "no" << true;
    QTest::newRow("n blank") << "n " << true;
    QTest::newRow("never stored") << "" << true;
  }
  void folderSelection() {
    QFETCH(QString, stored);
    QFETCH(bool, ticked);
    TKeyStore store;
    const std::string path = "/home/u/.thunderbird/x/Mail/Local Folders/Inbox";
    if (!stored.isEmpty()) {
      TValuePath v = SelectionValue(kTBSelectionKey, path);
      store.WriteString(v.Key, v.Name, stored.toStdString());
    }
    QCOMPARE(ReadFolderSelection(store, kTBSelectionKey, path), ticked);
    QVERIFY(WriteFolderSelection(store, kTBSelectionKey, path, !ticked));
    QCOMPARE(ReadFolderSelection(store, kTBSelectionKey, path), !ticked);
    QVERIFY(store.KeyExists(
        "Software\\Quillbox\\TBFolderSelection\\home\\u\\.thunderbird\\x\\Mail\\Local Folders"));
    // A value of another type reads as never stored.
    store.WriteInteger(kOESelectionKey, "Bad.dbx", 0);
    QVERIFY(ReadFolderSelection(store, kOESelectionKey, "Bad.dbx"));
  }

  // The sized names win; a damaged sized value falls back to the plain one.
  void placement() {
    TKeyStore store;
    TPlacement p;
    p.ShowCmd = 3;
    p.PixelsPerInch = 120;
    p.NormPos = {10, 20, 610, 470};
    WritePlacement(store, p, 1920, 1080);
    QCOMPARE(store.ValueNames(kFormKey),
             (std::vector<std::string>{"FormVersion", "Flags", "ShowCmd", "PixelsPerInch",
                                       "MinMaxPos", "MinMaxPos(1920x1080)", "NormPos",
                                       "NormPos(1920x1080)", "Visible"}));
    QCOMPARE(store.ReadString(kFormKey, "NormPos"), std::string("10,20,610,470"));
    QCOMPARE(store.ReadString(kFormKey, "MinMaxPos"), std::string("-1,-1,-1,-1"));
    auto back = ReadPlacement(store, 1920, 1080);
    QVERIFY(back && back->HasNormPos);
    QCOMPARE(back->Placement, p);

    store.WriteString(kFormKey, "NormPos", "1,2,3,4");
    QCOMPARE(ReadPlacement(store, 1920, 1080)->Placement.NormPos, (TRect4{10, 20, 610, 470}));
    QCOMPARE(ReadPlacement(store, 800, 600)->Placement.NormPos, (TRect4{1, 2, 3, 4}));
    store.WriteString(kFormKey, "NormPos(1920x1080)", "1,2,3");
    QCOMPARE(ReadPlacement(store, 1920, 1080)->Placement.NormPos, (TRect4{1, 2, 3, 4}));
    store.WriteString(kFormKey, "FormVersion", "-1");
    QVERIFY(!ReadPlacement(store, 1920, 1080));

    TKeyStore empty;
    auto none = ReadPlacement(empty, 800, 600);
    QVERIFY(none && !none->HasNormPos);
    QCOMPARE(none->Placement, TPlacement{});

    for (int cmd : {1, 5, 9, 0, 4, 8, 99}) QCOMPARE(ShowStateOf(cmd), TShowState::Normal);
    for (int cmd : {2, 6, 7}) QCOMPARE(ShowStateOf(cmd), TShowState::Minimized);
    QCOMPARE(ShowStateOf(3), TShowState::Maximized);
  }

  void storedPropertyNames() {
    const auto& props = StoredProperties();
    QCOMPARE(PropertyValueName(props.front()), std::string("txtWavFile_Text"));
    QCOMPARE(PropertyValueName(props[17]), std::string("cmbSelector_ItemIndex"));
    QCOMPARE(PropertyValueName(props.back()), std::string("cbUseFullFilename_Checked"));
  }

  void extensionChecks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("skip");
    QTest::addColumn<QString>("error");
    QTest::newRow("blank") << "  " << -1 << QString::fromUtf8(kInvalidName.data());
    QTest::newRow("empty") << "" << -1 << QString::fromUtf8(kInvalidName.data());
    QTest::newRow("duplicate folded") << " jpg " << -1 << QString::fromUtf8(kDuplicateName.data());
    QTest::newRow("new with blank") << " mov" << -1 << "";
    QTest::newRow("own text") << "jpg" << 1 << "";
    QTest::newRow("other entry") << "gif" << 1 << QString::fromUtf8(kDuplicateName.data());
    QTest::newRow("non-ascii not folded") << "\xC3\xA9" << -1 << "";
  }
  void extensionChecks() {
    QFETCH(QString, text);
    QFETCH(int, skip);
    QFETCH(QString, error);
    TExtList list = {{"GIF", true}, {"JPG", false}, {"\xC3\x89", true}};
    auto got = CheckExtensionText(list, text.toStdString(), skip);
    QCOMPARE(got ? QString::fromUtf8(got->data(), got->size()) : QString(), error);
  }

  // First start writes "newValue" and both lists ticked, "TIFF" once; the
  // next start reads them back in stored order; a value of the wrong type
  // gives the shipped lists and an error to show.
  void extensionListsStartUp() {
    TKeyStore store;
    TExtLists first = InitOrLoadExtLists(store);
    QCOMPARE(first.Error, std::string());
    QCOMPARE(first.Include.size(), size_t{42});
    QCOMPARE(first.Exclude.size(), size_t{20});
    QCOMPARE(store.ReadString(kOptionsKey, "newValue"), std::string("y"));
    QCOMPARE(store.ValueNames(kIncludeExtKey).size(), size_t{41});
    QVERIFY(store.ReadFlag(kExcludeExtKey, "CFM"));

    TExtList edited = {{"zip", false}, {" mov", true}, {"EXE", true}};
    StoreExtList(store, TExtListKind::Include, edited);
    TExtLists second = InitOrLoadExtLists(store);
    QCOMPARE(second.Error, std::string());
    QCOMPARE(second.Include, edited);
    QCOMPARE(second.Exclude, ShippedExtList(TExtListKind::Exclude));

    store.WriteString(kExcludeExtKey, "COM", "1");
    TExtLists bad = InitOrLoadExtLists(store);
    QVERIFY(bad.Error.find("COM") != std::string::npos);
    QCOMPARE(bad.Include, ShippedExtList(TExtListKind::Include));
    QCOMPARE(bad.Exclude, ShippedExtList(TExtListKind::Exclude));
    // The next save replaces the bad value.
    StoreExtList(store, TExtListKind::Exclude, bad.Exclude);
    QCOMPARE(InitOrLoadExtLists(store).Error, std::string());
  }

  void deleteWordings() {
    QVERIFY(NothingToDeleteMessage(TExtListKind::Include) !=
            NothingToDeleteMessage(TExtListKind::Exclude));
    QCOMPARE(ConfirmDeleteMessage(TExtListKind::Include),
             std::string_view("Do you really want to delete the selected Extension ?"));
    QCOMPARE(ConfirmDeleteMessage(TExtListKind::Exclude),
             std::string_view("Do you really want to delete the selected Extension?"));
  }
};
QB_WIZARD_TEST(SettingsRules);

}  // namespace qb::wiztest

#include "settingsrules_test.moc"
