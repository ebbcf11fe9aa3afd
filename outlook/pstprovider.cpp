#include "outlook/pstprovider.h"

#include <libpff.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "outlook/pstprops.h"
#include "platform/datetime.h"
#include "platform/i18n.h"
#include "platform/limits.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb::ole {

namespace {

constexpr size_t kMaxTextSize = kMaxPstTextBytes;
constexpr int kMaxFolderDepth = kMaxPstFolderDepth;
constexpr int kMaxFolderVisits = kMaxPstFolderVisits;

class PffError {
 public:
  ~PffError() {
    if (e_) libpff_error_free(&e_);
  }
  libpff_error_t** operator&() { return &e_; }
  std::string Text() const {
    if (!e_) return "";
    char buf[512] = {0};
    libpff_error_sprint(e_, buf, sizeof buf);
    return buf;
  }

 private:
  libpff_error_t* e_ = nullptr;
};

[[noreturn]] void Raise(const std::string& what, const PffError& e = PffError()) {
  std::string text = e.Text();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  throw EOleException(text.empty() ? what : what + ": " + text);
}

// One open store file. Items of a file hold a reference to it, so the file
// is closed after the last of them is freed.
class PstFile {
 public:
  ~PstFile() {
    if (file) {
      libpff_file_close(file, nullptr);
      libpff_file_free(&file, nullptr);
    }
  }
  libpff_file_t* file = nullptr;
  std::string path;  // canonical
  std::string displayName;
  uint32_t topId = 0;  // the folder at the top of the personal folders
};

class PffItem {
 public:
  PffItem(std::shared_ptr<PstFile> file, libpff_item_t* item)
      : file_(std::move(file)), item_(item) {}
  ~PffItem() {
    if (item_) libpff_item_free(&item_, nullptr);
  }
  PffItem(const PffItem&) = delete;
  PffItem& operator=(const PffItem&) = delete;
  libpff_item_t* get() const { return item_; }
  const std::shared_ptr<PstFile>& file() const { return file_; }

 private:
  std::shared_ptr<PstFile> file_;
  libpff_item_t* item_;
};
using PffItemRef = std::shared_ptr<PffItem>;

// Property access on record set 0 of an item.
class RecordSet {
 public:
  explicit RecordSet(libpff_item_t* item) {
    if (libpff_item_get_record_set_by_index(item, 0, &set_, nullptr) != 1) set_ = nullptr;
  }
  ~RecordSet() {
    if (set_) libpff_record_set_free(&set_, nullptr);
  }
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;
  libpff_record_set_t* get() const { return set_; }

 private:
  libpff_record_set_t* set_ = nullptr;
};

class RecordEntry {
 public:
  RecordEntry(libpff_record_set_t* set, uint32_t type) {
    if (!set ||
        libpff_record_set_get_entry_by_type(
            set, type, 0, &entry_, LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE, nullptr) != 1)
      entry_ = nullptr;
  }
  ~RecordEntry() {
    if (entry_) libpff_record_entry_free(&entry_, nullptr);
  }
  RecordEntry(const RecordEntry&) = delete;
  RecordEntry& operator=(const RecordEntry&) = delete;
  libpff_record_entry_t* get() const { return entry_; }

 private:
  libpff_record_entry_t* entry_ = nullptr;
};

std::optional<std::string> EntryString(libpff_record_set_t* set, uint32_t type) {
  RecordEntry e(set, type);
  if (!e.get()) return std::nullopt;
  uint32_t valueType = 0;
  if (libpff_record_entry_get_value_type(e.get(), &valueType, nullptr) != 1) return std::nullopt;
  if (valueType != pst::kTypeString8 && valueType != pst::kTypeUnicode) return std::nullopt;
  size_t size = 0;
  if (libpff_record_entry_get_data_as_utf8_string_size(e.get(), &size, nullptr) != 1)
    return std::nullopt;
  if (size == 0) return std::string();
  if (size > kMaxTextSize) return std::nullopt;
  std::string s(size, '\0');
  if (libpff_record_entry_get_data_as_utf8_string(e.get(), reinterpret_cast<uint8_t*>(s.data()),
                                                  size, nullptr) != 1)
    return std::nullopt;
  s.resize(std::strlen(s.c_str()));
  return s;
}

std::optional<std::string> ItemString(libpff_item_t* item, uint32_t type) {
  RecordSet set(item);
  return EntryString(set.get(), type);
}

std::optional<std::string> ItemBinary(libpff_item_t* item, uint32_t type) {
  RecordSet set(item);
  RecordEntry e(set.get(), type);
  if (!e.get()) return std::nullopt;
  size_t size = 0;
  if (libpff_record_entry_get_data_size(e.get(), &size, nullptr) != 1 || size > kMaxTextSize)
    return std::nullopt;
  std::string s(size, '\0');
  if (size && libpff_record_entry_get_data(e.get(), reinterpret_cast<uint8_t*>(s.data()), size,
                                           nullptr) != 1)
    return std::nullopt;
  return s;
}

std::optional<uint32_t> EntryInt32(libpff_record_set_t* set, uint32_t type) {
  RecordEntry e(set, type);
  uint32_t v = 0;
  if (!e.get() || libpff_record_entry_get_data_as_32bit_integer(e.get(), &v, nullptr) != 1)
    return std::nullopt;
  return v;
}

// Outlook strips the "RE: "-style prefix marker some stores keep in front
// of a subject: a 0x01 byte followed by one byte giving the prefix length.
std::string CleanSubject(std::string s) {
  if (s.size() >= 2 && s[0] == '\x01') s.erase(0, 2);
  return s;
}

TDateTime FiletimeToLocal(uint64_t filetime) {
  // 100 ns ticks since 1601-01-01 UTC.
  constexpr uint64_t kTicksPerSecond = 10000000ull;
  constexpr int64_t kEpochDelta = 11644473600ll;  // seconds from 1601 to 1970
  const int64_t seconds = static_cast<int64_t>(filetime / kTicksPerSecond) - kEpochDelta;
  return UnixToLocalDateTime(seconds);
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A text of a body or string sized by libpff, NUL terminator dropped.
template <typename SizeFn, typename ReadFn>
std::string ReadSized(SizeFn sizeFn, ReadFn readFn) {
  size_t size = 0;
  if (sizeFn(&size) != 1 || size == 0 || size > kMaxTextSize) return "";
  std::string s(size, '\0');
  if (readFn(reinterpret_cast<uint8_t*>(s.data()), size) != 1) return "";
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::string PlainBody(libpff_item_t* msg) {
  return ReadSized(
      [&](size_t* n) { return libpff_message_get_plain_text_body_size(msg, n, nullptr); },
      [&](uint8_t* b, size_t n) { return libpff_message_get_plain_text_body(msg, b, n, nullptr); });
}

std::string HtmlBody(libpff_item_t* msg) {
  return ReadSized(
      [&](size_t* n) { return libpff_message_get_html_body_size(msg, n, nullptr); },
      [&](uint8_t* b, size_t n) { return libpff_message_get_html_body(msg, b, n, nullptr); });
}

TDateTime MessageTime(libpff_item_t* msg) {
  uint64_t ft = 0;
  if (libpff_message_get_delivery_time(msg, &ft, nullptr) == 1 && ft) return FiletimeToLocal(ft);
  if (libpff_message_get_client_submit_time(msg, &ft, nullptr) == 1 && ft)
    return FiletimeToLocal(ft);
  if (libpff_message_get_creation_time(msg, &ft, nullptr) == 1 && ft) return FiletimeToLocal(ft);
  return 0;
}

// ---------------------------------------------------------------------------

class PstAddressEntry : public IOlAddressEntry {
 public:
  explicit PstAddressEntry(std::string address) : address_(std::move(address)) {}
  std::string Address() override { return address_; }

 private:
  std::string address_;
};

class PstRecipient : public IOlRecipient {
 public:
  explicit PstRecipient(std::string address) : address_(std::move(address)) {}
  std::shared_ptr<IOlAddressEntry> AddressEntry() override {
    return std::make_shared<PstAddressEntry>(address_);
  }

 private:
  std::string address_;
};

struct RecipientInfo {
  std::string name, address;
  uint32_t kind = 0;  // 1 To, 2 Cc, 3 Bcc
};

// The recipients table of a message; every record set is one recipient.
std::vector<RecipientInfo> ReadRecipients(libpff_item_t* msg) {
  std::vector<RecipientInfo> out;
  libpff_item_t* table = nullptr;
  if (libpff_message_get_recipients(msg, &table, nullptr) != 1 || !table) return out;
  PffItem owner(nullptr, table);
  int sets = 0;
  if (libpff_item_get_number_of_record_sets(table, &sets, nullptr) != 1) return out;
  for (int i = 0; i < sets; ++i) {
    libpff_record_set_t* set = nullptr;
    if (libpff_item_get_record_set_by_index(table, i, &set, nullptr) != 1) continue;
    RecipientInfo r;
    r.name = EntryString(set, pst::kDisplayName).value_or("");
    r.address = EntryString(set, pst::kEmailAddress).value_or("");
    if (r.address.empty()) r.address = EntryString(set, pst::kSmtpAddress).value_or("");
    r.kind = EntryInt32(set, pst::kRecipientType).value_or(0);
    libpff_record_set_free(&set, nullptr);
    out.push_back(std::move(r));
  }
  return out;
}

class PstRecipients : public IOlRecipients {
 public:
  explicit PstRecipients(std::vector<RecipientInfo> list) : list_(std::move(list)) {}
  int Count() override { return static_cast<int>(list_.size()); }
  std::shared_ptr<IOlRecipient> Item(int index) override {
    if (index < 1 || index > Count()) throw EOleException("Array index out of bounds.");
    return std::make_shared<PstRecipient>(list_[index - 1].address);
  }

 private:
  std::vector<RecipientInfo> list_;
};

std::string RfcDate(uint64_t filetime) {
  if (!filetime) return "";
  constexpr int64_t kEpochDelta = 11644473600ll;
  const time_t t = static_cast<time_t>(static_cast<int64_t>(filetime / 10000000ull) - kEpochDelta);
  struct tm tmv;
  if (!gmtime_r(&t, &tmv)) return "";
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %d %s %d %02d:%02d:%02d +0000", days[tmv.tm_wday % 7],
                tmv.tm_mday, months[tmv.tm_mon % 12], tmv.tm_year + 1900, tmv.tm_hour, tmv.tm_min,
                tmv.tm_sec);
  return buf;
}

std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string Mailbox(const std::string& name, const std::string& address) {
  if (address.empty()) return OneLine(name);
  if (name.empty() || name == address) return OneLine(address);
  std::string quoted;
  for (char c : OneLine(name)) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return "\"" + quoted + "\" <" + OneLine(address) + ">";
}

// An attached item (a message inside a message) is saved as a plain
// RFC 822 message that any mail program opens: the item's sender,
// recipients, subject and date as headers, and its plain body (its HTML
// body when it has no plain one). Its own attachments are not included.
std::string EmbeddedMessageText(libpff_item_t* msg) {
  RecordSet set(msg);
  std::string out;
  auto header = [&](const std::string& name, const std::string& value) {
    if (!value.empty()) out += name + ": " + value + "\r\n";
  };
  header("From", Mailbox(EntryString(set.get(), pst::kSenderName).value_or(""),
                         EntryString(set.get(), pst::kSenderEmailAddress).value_or("")));
  std::string to, cc;
  for (const RecipientInfo& r : ReadRecipients(msg)) {
    std::string& list = r.kind == 2 ? cc : to;
    if (r.kind == 3) continue;
    if (!list.empty()) list += ", ";
    list += Mailbox(r.name, r.address);
  }
  header("To", to);
  header("Cc", cc);
  header("Subject", OneLine(CleanSubject(EntryString(set.get(), pst::kSubject).value_or(""))));
  uint64_t ft = 0;
  if (libpff_message_get_client_submit_time(msg, &ft, nullptr) != 1 || !ft)
    if (libpff_message_get_delivery_time(msg, &ft, nullptr) != 1) ft = 0;
  header("Date", RfcDate(ft));
  out += "MIME-Version: 1.0\r\n";
  std::string body = PlainBody(msg);
  if (body.empty()) {
    body = HtmlBody(msg);
    out += "Content-Type: text/html\r\n";
  } else {
    out += "Content-Type: text/plain; charset=\"utf-8\"\r\n";
  }
  out += "Content-Transfer-Encoding: 8bit\r\n\r\n";
  out += body;
  return out;
}

class PstAttachment : public IOlAttachment {
 public:
  explicit PstAttachment(PffItemRef item) : item_(std::move(item)) {}

  std::string Text() override {
    libpff_item_t* a = item_->get();
    for (uint32_t type : {pst::kAttachLongFilename, pst::kAttachFilename}) {
      std::string name = ItemString(a, type).value_or("");
      if (!name.empty()) return name;
    }
    std::string name = ItemString(a, pst::kDisplayName).value_or("");
    if (Type() == LIBPFF_ATTACHMENT_TYPE_ITEM) {
      // An attached item has no file name; it is saved as a message file.
      if (name.empty()) name = "Attached message";
      return name + ".eml";
    }
    return name;
  }

  void SaveAsFile(const std::string& path) override {
    const int type = Type();
    if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE)
      throw EOleException("The attachment is a link to a file and has no content");
    if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
      libpff_item_t* embedded = nullptr;
      PffError e;
      if (libpff_attachment_get_item(item_->get(), &embedded, &e) != 1 || !embedded)
        Raise("Cannot open the attached item", e);
      PffItem owner(item_->file(), embedded);
      WriteAll(path, EmbeddedMessageText(embedded));
      return;
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) throw EOleException("Cannot create file " + path + ": " + std::strerror(errno));
    try {
      CopyData(out);
    } catch (const std::exception&) {
      std::fclose(out);
      std::remove(path.c_str());
      throw;
    }
    if (std::fclose(out) != 0) {
      std::remove(path.c_str());
      throw EOleException("Cannot write file " + path);
    }
  }

 private:
  int Type() {
    int type = 0;
    if (libpff_attachment_get_type(item_->get(), &type, nullptr) != 1) return 0;
    return type;
  }

  void CopyData(FILE* out) {
    libpff_item_t* a = item_->get();
    size64_t size = 0;
    PffError e;
    int rc = libpff_attachment_get_data_size(a, &size, &e);
    if (rc == -1) Raise("Cannot read the attachment", e);
    if (rc == 0 || size == 0) return;  // no content: an empty file
    if (libpff_attachment_data_seek_offset(a, 0, SEEK_SET, nullptr) < 0)
      Raise("Cannot read the attachment");
    std::vector<uint8_t> buf(64 * 1024);
    size64_t done = 0;
    while (done < size) {
      const size_t want = static_cast<size_t>(std::min<size64_t>(buf.size(), size - done));
      PffError re;
      ssize_t got = libpff_attachment_data_read_buffer(a, buf.data(), want, &re);
      if (got < 0) Raise("Cannot read the attachment", re);
      if (got == 0) break;
      if (std::fwrite(buf.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got))
        throw EOleException("Cannot write the attachment");
      done += static_cast<size64_t>(got);
    }
  }

  static void WriteAll(const std::string& path, const std::string& data) {
    if (!SaveBytesToFile(path, data)) {
      const int err = errno;
      std::remove(path.c_str());
      throw EOleException("Cannot write file " + path + ": " + std::strerror(err));
    }
  }

  PffItemRef item_;
};

class PstAttachments : public IOlAttachments {
 public:
  explicit PstAttachments(PffItemRef msg) : msg_(std::move(msg)) {
    int n = 0;
    if (libpff_message_get_number_of_attachments(msg_->get(), &n, nullptr) == 1 && n > 0)
      count_ = n;
  }
  int Count() override { return count_; }
  std::shared_ptr<IOlAttachment> Item(int index) override {
    if (index < 1 || index > count_) throw EOleException("Array index out of bounds.");
    libpff_item_t* a = nullptr;
    PffError e;
    if (libpff_message_get_attachment(msg_->get(), index - 1, &a, &e) != 1 || !a)
      Raise("Cannot open attachment " + std::to_string(index), e);
    return std::make_shared<PstAttachment>(std::make_shared<PffItem>(msg_->file(), a));
  }

 private:
  PffItemRef msg_;
  int count_ = 0;
};

class PstMailItem : public IOlMailItem {
 public:
  explicit PstMailItem(PffItemRef msg) : msg_(std::move(msg)) {}
  std::shared_ptr<IOlRecipients> Recipients() override {
    return std::make_shared<PstRecipients>(ReadRecipients(msg_->get()));
  }
  TDateTime ReceivedTime() override { return MessageTime(msg_->get()); }
  std::string Subject() override {
    return CleanSubject(ItemString(msg_->get(), pst::kSubject).value_or(""));
  }
  std::string SenderName() override {
    return ItemString(msg_->get(), pst::kSenderName).value_or("");
  }
  std::shared_ptr<IOlAttachments> Attachments() override {
    return std::make_shared<PstAttachments>(msg_);
  }
  std::string Body() override { return PlainBody(msg_->get()); }
  std::string HTMLBody() override { return HtmlBody(msg_->get()); }

 private:
  PffItemRef msg_;
};

class PstItems : public IOlItems {
 public:
  explicit PstItems(PffItemRef folder) : folder_(std::move(folder)) {
    int n = 0;
    PffError e;
    if (libpff_folder_get_number_of_sub_messages(folder_->get(), &n, &e) == -1)
      Raise("Cannot read the folder's items", e);
    count_ = n > 0 ? n : 0;
  }
  int Count() override { return count_; }
  std::shared_ptr<IOlMailItem> Item(int index) override {
    if (index < 1 || index > count_) throw EOleException("Array index out of bounds.");
    libpff_item_t* m = nullptr;
    PffError e;
    if (libpff_folder_get_sub_message(folder_->get(), index - 1, &m, &e) != 1 || !m)
      Raise("Cannot open item " + std::to_string(index), e);
    return std::make_shared<PstMailItem>(std::make_shared<PffItem>(folder_->file(), m));
  }

 private:
  PffItemRef folder_;
  int count_ = 0;
};

class PstFolder : public IOlFolder {
 public:
  PstFolder(PffItemRef item, bool isStore, int depth)
      : item_(std::move(item)), isStore_(isStore), depth_(depth) {
    libpff_item_get_identifier(item_->get(), &id_, nullptr);
  }
  int DefaultItemType() override {
    if (isStore_) return olMailItem;
    return ItemTypeOfContainerClass(ItemString(item_->get(), pst::kContainerClass).value_or(""));
  }
  std::string EntryID() override { return MakePstEntryId(item_->file()->path, id_); }
  std::string Name() override {
    if (isStore_) return item_->file()->displayName;
    return ItemString(item_->get(), pst::kDisplayName).value_or("");
  }
  std::shared_ptr<IOlFolders> Folders() override;
  std::shared_ptr<IOlItems> Items() override { return std::make_shared<PstItems>(item_); }

  const PffItemRef& item() const { return item_; }
  int depth() const { return depth_; }

 private:
  PffItemRef item_;
  bool isStore_;
  int depth_;
  uint32_t id_ = 0;
};

class PstSubFolders : public IOlFolders {
 public:
  PstSubFolders(PffItemRef parent, int depth) : parent_(std::move(parent)), depth_(depth) {
    int n = 0;
    PffError e;
    if (depth_ >= kMaxFolderDepth) return;
    if (libpff_folder_get_number_of_sub_folders(parent_->get(), &n, &e) == -1)
      Raise("Cannot read the sub-folders", e);
    count_ = n > 0 ? n : 0;
  }
  int Count() override { return count_; }
  std::shared_ptr<IOlFolder> Item(int index) override {
    if (index < 1 || index > count_) throw EOleException("Array index out of bounds.");
    libpff_item_t* f = nullptr;
    PffError e;
    if (libpff_folder_get_sub_folder(parent_->get(), index - 1, &f, &e) != 1 || !f)
      Raise("Cannot open folder " + std::to_string(index), e);
    return std::make_shared<PstFolder>(std::make_shared<PffItem>(parent_->file(), f), false,
                                       depth_ + 1);
  }

 private:
  PffItemRef parent_;
  int depth_;
  int count_ = 0;
};

std::shared_ptr<IOlFolders> PstFolder::Folders() {
  return std::make_shared<PstSubFolders>(item_, depth_);
}

// The folder with this identifier, found by walking the folder tree from
// the root. (Looking the item up directly types some folders by their
// message class, and libpff then refuses them as folders.)
std::optional<PffItemRef> FindFolder(const std::shared_ptr<PstFile>& file, uint32_t id,
                                     libpff_item_t* folder, int depth, int& budget) {
  uint32_t own = 0;
  if (libpff_item_get_identifier(folder, &own, nullptr) == 1 && own == id) {
    libpff_item_t* copy = nullptr;
    if (libpff_item_clone(&copy, folder, nullptr) != 1 || !copy) return std::nullopt;
    return std::make_shared<PffItem>(file, copy);
  }
  if (depth >= kMaxFolderDepth) return std::nullopt;
  int n = 0;
  if (libpff_folder_get_number_of_sub_folders(folder, &n, nullptr) != 1) return std::nullopt;
  for (int i = 0; i < n && budget > 0; ++i, --budget) {
    libpff_item_t* sub = nullptr;
    if (libpff_folder_get_sub_folder(folder, i, &sub, nullptr) != 1 || !sub) continue;
    PffItem owner(nullptr, sub);
    if (auto found = FindFolder(file, id, sub, depth + 1, budget)) return found;
  }
  return std::nullopt;
}

std::optional<PffItemRef> ItemById(const std::shared_ptr<PstFile>& file, uint32_t id) {
  libpff_item_t* root = nullptr;
  if (libpff_file_get_root_folder(file->file, &root, nullptr) != 1 || !root) return std::nullopt;
  PffItem owner(nullptr, root);
  int budget = kMaxFolderVisits;
  return FindFolder(file, id, root, 0, budget);
}

std::string Canonical(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf)) return buf;
  return path;
}

std::string FileStem(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Opens one store; nullptr when the file is not a readable store.
std::shared_ptr<PstFile> OpenStore(const std::string& path) {
  auto store = std::make_shared<PstFile>();
  store->path = Canonical(path);
  if (libpff_file_initialize(&store->file, nullptr) != 1) {
    store->file = nullptr;
    return nullptr;
  }
  if (libpff_file_open(store->file, store->path.c_str(), LIBPFF_OPEN_READ, nullptr) != 1) {
    libpff_file_free(&store->file, nullptr);
    store->file = nullptr;
    return nullptr;
  }
  libpff_item_t* ms = nullptr;
  if (libpff_file_get_message_store(store->file, &ms, nullptr) == 1 && ms) {
    PffItem owner(nullptr, ms);
    store->displayName = ItemString(ms, pst::kDisplayName).value_or("");
    if (auto eid = ItemBinary(ms, pst::kIpmSubtreeEntryId); eid && eid->size() >= 4) {
      const auto* p = reinterpret_cast<const unsigned char*>(eid->data()) + eid->size() - 4;
      store->topId = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
  }
  if (store->displayName.empty()) store->displayName = FileStem(path);
  if (!store->topId || !ItemById(store, store->topId)) {
    // No usable pointer to the top of the personal folders: take the root.
    libpff_item_t* root = nullptr;
    if (libpff_file_get_root_folder(store->file, &root, nullptr) != 1 || !root) return nullptr;
    PffItem owner(nullptr, root);
    uint32_t id = 0;
    if (libpff_item_get_identifier(root, &id, nullptr) != 1) return nullptr;
    store->topId = id;
  }
  return store;
}

class PstStores : public IOlFolders {
 public:
  explicit PstStores(std::vector<std::shared_ptr<PstFile>> stores) : stores_(std::move(stores)) {}
  int Count() override { return static_cast<int>(stores_.size()); }
  std::shared_ptr<IOlFolder> Item(int index) override {
    if (index < 1 || index > Count()) throw EOleException("Array index out of bounds.");
    auto top = ItemById(stores_[index - 1], stores_[index - 1]->topId);
    if (!top) throw EOleException("Cannot open the store " + stores_[index - 1]->path);
    return std::make_shared<PstFolder>(*top, true, 0);
  }

 private:
  std::vector<std::shared_ptr<PstFile>> stores_;
};

class PstNameSpace : public IOlNameSpace {
 public:
  explicit PstNameSpace(std::vector<std::shared_ptr<PstFile>> stores)
      : stores_(std::move(stores)) {}
  std::shared_ptr<IOlFolders> Folders() override { return std::make_shared<PstStores>(stores_); }
  std::shared_ptr<IOlFolder> GetFolderFromID(const std::string& entryId) override {
    std::string path;
    unsigned id = 0;
    if (!ParsePstEntryId(entryId, path, id)) throw EOleException("The entry id is not valid.");
    for (const auto& store : stores_) {
      if (store->path != path) continue;
      auto item = ItemById(store, id);
      if (!item) break;
      return std::make_shared<PstFolder>(*item, id == store->topId, 0);
    }
    throw EOleException("The folder could not be found.");
  }

 private:
  std::vector<std::shared_ptr<PstFile>> stores_;
};

class PstApplication : public IOlApplication {
 public:
  explicit PstApplication(std::vector<std::shared_ptr<PstFile>> stores)
      : ns_(std::make_shared<PstNameSpace>(std::move(stores))) {}
  std::shared_ptr<IOlNameSpace> GetNameSpace(const std::string& type) override {
    if (type != "MAPI") throw EOleException("Unknown namespace type " + type);
    return ns_;
  }

 private:
  std::shared_ptr<PstNameSpace> ns_;
};

}  // namespace

int ItemTypeOfContainerClass(const std::string& containerClass) {
  struct Kind {
    const char* prefix;
    int type;
  };
  static const Kind kinds[] = {
      {"IPF.Appointment", olAppointmentItem},
      {"IPF.Contact", olContactItem},
      {"IPF.Task", olTaskItem},
      {"IPF.Journal", olJournalItem},
      {"IPF.StickyNote", olNoteItem},
      {"IPF.Post", olPostItem},
  };
  for (const Kind& k : kinds) {
    const size_t n = std::strlen(k.prefix);
    if (containerClass.compare(0, n, k.prefix) == 0 &&
        (containerClass.size() == n || containerClass[n] == '.'))
      return k.type;
  }
  return olMailItem;
}

std::string MakePstEntryId(const std::string& canonicalPath, unsigned identifier) {
  char head[9];
  std::snprintf(head, sizeof head, "%08X", identifier);
  return head + Hex(canonicalPath);
}

bool ParsePstEntryId(const std::string& entryId, std::string& canonicalPath, unsigned& identifier) {
  if (entryId.size() < 10 || entryId.size() % 2 != 0) return false;
  unsigned id = 0;
  for (size_t i = 0; i < 8; ++i) {
    const int d = HexDigit(entryId[i]);
    if (d < 0) return false;
    id = id << 4 | static_cast<unsigned>(d);
  }
  std::string path;
  for (size_t i = 8; i < entryId.size(); i += 2) {
    const int hi = HexDigit(entryId[i]), lo = HexDigit(entryId[i + 1]);
    if (hi < 0 || lo < 0) return false;
    path += static_cast<char>(hi << 4 | lo);
  }
  canonicalPath = path;
  identifier = id;
  return true;
}

TOlApplicationFactory PstApplicationFactory(std::vector<std::string> extraFiles,
                                            bool withConfigured) {
  return [extraFiles, withConfigured]() -> std::shared_ptr<IOlApplication> {
    std::vector<std::string> files =
        withConfigured ? ConfiguredPstStores() : std::vector<std::string>{};
    files.insert(files.end(), extraFiles.begin(), extraFiles.end());
    std::vector<std::shared_ptr<PstFile>> stores;
    for (const std::string& f : files) {
      const std::string canonical = Canonical(f);
      bool seen = false;
      for (const auto& s : stores) seen = seen || s->path == canonical;
      if (seen) continue;
      if (auto store = OpenStore(f)) stores.push_back(std::move(store));
    }
    if (stores.empty()) throw EOleException("Outlook is not available: no personal folders file");
    return std::make_shared<PstApplication>(std::move(stores));
  };
}

}  // namespace qb::ole

namespace qb {

std::string PstStoreProblem(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return path + ": " + std::strerror(errno);
  std::fclose(f);
  if (!ole::OpenStore(path))
    return Substitute(Translate("%1: not a personal folders (.pst) file"), {path});
  return "";
}

}  // namespace qb
