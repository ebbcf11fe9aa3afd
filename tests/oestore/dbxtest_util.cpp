#include "tests/oestore/dbxtest_util.h"

#include <cstring>

namespace qb::test {

TDbxSynthMessage SynthMessage(int i, std::size_t bodySize) {
  TDbxSynthMessage m;
  m.Subject = "S" + std::to_string(i);
  m.Sender = "sender" + std::to_string(i) + "@example.org";
  std::string body;
  while (body.size() < bodySize) body += "line " + std::to_string(i) + " of the body\r\n";
  body.resize(bodySize);
  m.Text = "From: " + m.Sender + "\r\nSubject: " + m.Subject + "\r\n\r\n" + body;
  return m;
}

std::vector<TDbxSynthMessage> SynthMessages(int count, std::size_t bodySize) {
  std::vector<TDbxSynthMessage> out;
  for (int i = 0; i < count; ++i) out.push_back(SynthMessage(i, bodySize));
  return out;
}

std::vector<Toe5_MessageInfo> ReadMessages(const std::string& image) {
  TDbxIndexList list;
  LoadDbxIndexFromImage(image, false, &list);
  return MessageRecords(list);
}

std::vector<std::string> ReadTexts(const std::string& image) {
  std::vector<std::string> out;
  for (const Toe5_MessageInfo& m : ReadMessages(image)) {
    std::string text;
    LoadDbxMessageTextFromImage(image, m.MessageDataPos, text);
    out.push_back(text);
  }
  return out;
}

}  // namespace qb::test
