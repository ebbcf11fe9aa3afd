// One e-mail message: the raw lines and the decoded form (header fields,
// plain-text and HTML bodies, attachments), with parsing and composing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mime/MoxAttFile.h"
#include "mime/mimehelpers.h"
#include "mime/parseroptions.h"
#include "platform/datetime.h"

namespace qb {

enum TPriority { prHighest = 0, prHigh = 1, prNormal = 2, prLow = 3, prLowest = 4 };
enum TTextEncoding { te8Bit = 0, teBase64 = 1, teQP = 2 };
enum TIMAPFlag { isSeen, isAnswered, isFlagged, isDeleted, isDraft, isRecent };
// A set of TIMAPFlag: bit (1 << flag).
using TIMAPFlags = std::uint8_t;

struct TMailAddress {
  std::string Name;
  std::string Address;
};

// An ordered list of addresses.
class TAddressList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TMailAddress& Items(int index) { return items_.at(static_cast<std::size_t>(index)); }
  const TMailAddress& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  void Add(TMailAddress item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }
  void Assign(const TAddressList& other) { items_ = other.items_; }

  // The streamed "Items" property: Name then Address for every item; an
  // empty list is not written (HasItemsToStore is false).
  bool HasItemsToStore() const { return !items_.empty(); }
  std::vector<std::string> StoreItems() const;
  // Clears the list and rebuilds it from the pairs (an odd last entry is a
  // name without address).
  void LoadItems(const std::vector<std::string>& pairs);

 private:
  std::vector<TMailAddress> items_;
};

// One address text into name and address; never fails.
TMailAddress ParseMailAddress(std::string_view text);
// A text of several addresses, appended to list.
void ParseAddressList(std::string_view text, TAddressList& list);
// The items of a list as "\"Name\" <address>" joined by sep.
std::string AddressListText(const TAddressList& list, std::string_view sep = ",");

class TMoxMsg {
 public:
  // Re-seeds the process-wide random generator from the clock.
  TMoxMsg();
  TMoxMsg(const TMoxMsg&) = delete;
  TMoxMsg& operator=(const TMoxMsg&) = delete;

  // Published properties.
  std::string UserName;
  std::string From, FromAddress, FromName;
  std::string ReplyTo, ReplyToAddress, ReplyToName;
  std::string DeliveredTo, DeliveredToAddress, DeliveredToName;
  TAddressList SendToList, CCList, BCCList;
  std::string Subject;
  // The plain body text. A large body of a text taken over (TakeRawText)
  // is not copied here but kept as a view: TextBody() gives it all.
  TStringList Text;
  TStringList HTML;
  bool HTMLAsAttachment = false;
  TStringList ExtraHeaders;
  TPriority Priority = prNormal;
  std::string CharSet = "iso-8859-1";
  bool ClearRawMailAfterParse = true;
  TTextEncoding TextEncoding = te8Bit;
  std::string XMailer;
  std::string LocalAddr;
  TIMAPFlags IMAPFlags = 0;
  // The leniency rules parsing follows (every mend on by default).
  TMimeParserOptions ParserOptions;

  // Text forms of the address lists: items joined by "," (no blank).
  std::string SendTo() const;
  std::string CC() const;
  std::string BCC() const;
  // Append the parsed addresses of text to the list (not cleared first).
  void SetSendTo(std::string_view text);
  void SetCC(std::string_view text);
  void SetBCC(std::string_view text);

  // The whole plain body text (Text and the views kept of large body
  // lines, in their order), each line followed by CR LF.
  std::string TextBody() const;

  const std::string& LocalHost() const { return localHost_; }
  // A blank value stores "a.b.c".
  void SetLocalHost(const std::string& value);

  // Public members.
  TStringList RawMail;
  TStringList Headers;
  TAttachedFiles Attachments;
  std::string Sender;
  std::string MessageID;
  std::string InReplyTo;
  std::string ReturnPath;
  std::string DateText;
  TDateTime Date = 0;
  std::string TimeZone;
  std::string ContentType;
  std::string TransferEncoding;
  std::string MimeVersion;
  std::int32_t RawSize = 0;

  // Replaces RawMail by the lines of bytes (split as SplitTextLines does).
  void LoadRawMail(std::string_view bytes);
  // Takes text over as the raw message instead (RawMail is emptied): the
  // text is held once with its lines as views, and the attachments parsing
  // finds keep it and decode from it only when their bytes are asked for.
  void TakeRawText(std::string text);
  // RawSize := length of the raw text (CR LF after every line); empties
  // RawMail and drops a text taken over.
  void ClearRawMail();
  // Parses RawMail into the fields. Errors of the attachment decoders
  // ("Oops...") propagate; what was filled until then stays.
  void ParseRawMail();
  // Composes RawMail from the fields. Raises std::runtime_error for a From
  // without "@" or an empty SendToList, leaving RawMail empty.
  void FillRawMail();

  // Nesting depth (multiparts and embedded messages) past which a part is
  // not split further but handled as one leaf.
  static constexpr int kMaxNestingDepth = kMimeMaxNestingDepth;

 private:
  struct TPartInfo {
    std::string Disposition, ContentID, FileName, Encoding, ContentType;
  };
  struct TLeaf {
    TLineSpan Lines;
    int Depth;
  };

  void ParseHeaders();
  TPartInfo ReadPartHeader(TLineSpan lines);
  // asLeaf: handle the part as one leaf even when its type says multipart.
  void ParsePart(TLineSpan lines, int depth, bool asLeaf = false);
  void SplitMultipart(TLineSpan lines, int depth, std::vector<TLeaf>& out);
  // The first begin line of a uuencoded block at or after from: its index
  // (lines.size() when there is none) and the file name it carries.
  struct TUUBlock {
    std::size_t Index;
    std::string FileName;
  };
  static TUUBlock FindUUBlock(TLineSpan lines, std::size_t from);
  // Moves the uuencoded blocks of lines into attachments; the other lines
  // go to remaining, as runs of consecutive lines.
  void ExtractUUBlocks(TLineSpan lines, std::vector<TLineSpan>& remaining);
  // Appends body lines to Text, or, when they are large and viewed in a
  // text taken over, keeps a view of them.
  void AddText(TLineSpan body);
  // keeper: what lines view, kept by an attachment that decodes later;
  // none decodes now.
  void AddAttachment(TLineSpan lines, const TPartInfo& info,
                     const std::shared_ptr<const void>& keeper);

  // The lines of an attachment's content below its header block, as the
  // options say.
  TLineSpan AttachmentBody(TLineSpan lines, const TPartInfo& info) const;
  // A raw 8-bit name or subject that is not UTF-8, converted from the
  // part's charset (partLine: its Content-Type line), else the message's.
  std::string NameToUtf8(std::string name, std::string_view partLine) const;

  std::string localHost_ = "a.b.c";
  // The charset parameter of the message's Content-Type.
  std::string msgCharset_;
  // While the attachments of an embedded message saved whole are gathered:
  // its body text is not this message's.
  bool attachmentsOnly_ = false;
  // The text taken over by TakeRawText.
  std::shared_ptr<const TLineIndex> rawText_;
  // While parsing a text taken over: that text, for the attachments.
  std::shared_ptr<const void> keeper_;
  // Large body lines kept as views (At: where in Text they belong) and
  // what they view.
  struct TTextView {
    std::size_t At;
    TLineSpan Lines;
  };
  std::vector<TTextView> textViews_;
  std::shared_ptr<const void> textKeeper_;
  std::size_t textCopyCost_ = 0;  // of the lines copied into Text so far
};

// Parses a Date header value. date is 0 and zone empty when it cannot be
// parsed; the zone offset is not applied.
void ParseDate(std::string_view value, TDateTime& date, std::string& zone);
// The items of every header field whose name begins with key (upper case,
// e.g. "TO"), continuation lines included; commas inside double quotes do
// not split.
TStringList CollectAddressHeader(std::string_view key, TLineSpan headerLines);

}  // namespace qb
