// Builds the inputs of the end-to-end comparison with ripmime: the messages
// of a mail corpus (every file below the corpus directory whose first line
// is a header field), repeated until the raw text reaches a target size, as
// an Outlook Express store (Folders.dbx and one .dbx file per 1,000
// messages, CR LF text) and as one mbox with LF line ends (what ripmime
// --mailbox reads correctly). MEGABYTES 0 takes every message once.
//
//   make_corpus_store CORPUS_DIR OUT_DIR [MEGABYTES]      (default 400)
//   make_corpus_store --big-attachment OUT_DIR MEGABYTES
//
// The second form writes a store of one message carrying one base64
// attachment of the given decoded size, for the peak-memory measurement.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "oestore/dbxwriter.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPerFolder = 1000;

// A file that starts with "Name:" on its first line (a raw message).
bool LooksLikeMessage(const std::string& text) {
  const std::size_t eol = text.find('\n');
  const std::string first = text.substr(0, eol);
  const std::size_t colon = first.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(first[i]);
    if (c <= 32 || c >= 127) return false;
  }
  return true;
}

std::string ToCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 40);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::string ToLf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// mboxrd quoting of body lines that would read as a separator.
std::string QuoteFromLines(const std::string& lf) {
  std::string out;
  out.reserve(lf.size() + 16);
  std::size_t pos = 0;
  while (pos < lf.size()) {
    std::size_t eol = lf.find('\n', pos);
    if (eol == std::string::npos) eol = lf.size();
    std::size_t p = pos;
    while (p < eol && lf[p] == '>') ++p;
    if (lf.compare(p, 5, "From ") == 0) out += '>';
    out.append(lf, pos, eol - pos);
    out += '\n';
    pos = eol + 1;
  }
  return out;
}

void WriteFolder(const std::string& storeDir, std::size_t index,
                 std::vector<qb::TDbxSynthMessage>& messages,
                 std::vector<qb::TDbxSynthFolder>& folders) {
  const std::string file = "Folder" + std::to_string(index) + ".dbx";
  const std::string image = qb::BuildDbxMessageFile(messages);
  std::ofstream(storeDir + "/" + file, std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));
  qb::TDbxSynthFolder folder;
  folder.Id = static_cast<std::int32_t>(index + 1);
  folder.Name = "Folder " + std::to_string(index);
  folder.FileName = file;
  folders.push_back(folder);
  messages.clear();
}

int CorpusStore(const std::string& corpus, const std::string& out, std::size_t megabytes) {
  std::vector<std::string> messages;
  std::vector<fs::path> paths;
  for (const auto& e : fs::recursive_directory_iterator(corpus))
    if (e.is_regular_file()) paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& p : paths) {
    auto text = qb::ReadWholeFile(p.string());
    if (text && !text->empty() && LooksLikeMessage(*text)) messages.push_back(std::move(*text));
  }
  if (messages.empty()) {
    std::cerr << "no messages below " << corpus << "\n";
    return 1;
  }
  const std::string storeDir = out + "/store";
  fs::create_directories(storeDir);
  std::ofstream mbox(out + "/all.mbox", std::ios::binary);
  std::vector<qb::TDbxSynthMessage> folderMessages;
  std::vector<qb::TDbxSynthFolder> folders;
  const std::size_t target = megabytes * 1000 * 1000;
  std::size_t bytes = 0, count = 0;
  // MEGABYTES 0: every message once.
  const bool once = megabytes == 0;
  while (once ? count == 0 : bytes < target) {
    for (const std::string& m : messages) {
      qb::TDbxSynthMessage msg;
      msg.Text = ToCrLf(m);
      bytes += msg.Text.size();
      folderMessages.push_back(std::move(msg));
      mbox << "From corpus@example.com Mon Jan  5 10:00:00 2004\n" << QuoteFromLines(ToLf(m));
      if (!m.empty() && m.back() != '\n') mbox << '\n';
      mbox << '\n';
      ++count;
      if (folderMessages.size() == kPerFolder)
        WriteFolder(storeDir, folders.size(), folderMessages, folders);
      if (!once && bytes >= target) break;
    }
  }
  if (!folderMessages.empty()) WriteFolder(storeDir, folders.size(), folderMessages, folders);
  qb::TDbxWriteOptions options;
  const std::string image = qb::BuildDbxFoldersFile(folders, options);
  std::ofstream(storeDir + "/Folders.dbx", std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));
  std::cout << count << " messages, " << bytes << " bytes of raw text, " << folders.size()
            << " folders\n";
  return 0;
}

int BigAttachmentStore(const std::string& out, std::size_t megabytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t size = megabytes * 1024 * 1024 / 3 * 3;
  std::string text =
      "From: sender@example.com\r\nTo: sam@example.org\r\nSubject: One big file\r\n"
      "Date: Mon, 05 Jan 2004 10:00:00 +0100\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"=big\"\r\n\r\n--=big\r\n"
      "Content-Type: text/plain\r\n\r\nThe file is attached.\r\n--=big\r\n"
      "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n";
  text.reserve(text.size() + size / 57 * 78 + 64);
  std::uint64_t seed = 7;
  char line[80];
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min<std::size_t>(57, size - done);
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; i += 3) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      const std::uint32_t v = static_cast<std::uint32_t>(seed >> 40);
      line[o++] = kAlphabet[(v >> 18) & 63];
      line[o++] = kAlphabet[(v >> 12) & 63];
      line[o++] = kAlphabet[(v >> 6) & 63];
      line[o++] = kAlphabet[v & 63];
    }
    line[o++] = '\r';
    line[o++] = '\n';
    text.append(line, o);
    done += n;
  }
  text += "--=big--\r\n";
  qb::TDbxSynthMessage msg;
  msg.Text = std::move(text);
  std::vector<qb::TDbxSynthMessage> messages;
  messages.push_back(std::move(msg));
  std::vector<qb::TDbxSynthFolder> folders;
  const std::string storeDir = out + "/store";
  fs::create_directories(storeDir);
  WriteFolder(storeDir, 0, messages, folders);
  const std::string image = qb::BuildDbxFoldersFile(folders);
  std::ofstream(storeDir + "/Folders.dbx", std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));
  std::cout << "one message, attachment of " << size << " bytes\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--big-attachment")
    return BigAttachmentStore(argv[2], std::strtoul(argv[3], nullptr, 10));
  if (argc == 3 || argc == 4)
    return CorpusStore(argv[1], argv[2], argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 400);
  std::cerr << "usage: make_corpus_store CORPUS_DIR OUT_DIR [MEGABYTES]\n"
               "       make_corpus_store --big-attachment OUT_DIR MEGABYTES\n";
  return 2;
}
