#include "oestore/dbxwriter.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "oestore/dbxformat.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace qb {

namespace {

constexpr unsigned char kSignature[16] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F,
                                          0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0};
constexpr unsigned char kClassIdTail[4] = {0x4F, 0xA3, 0x09, 0xD4};

std::int32_t Pos(const std::string& image) {
  if (image.size() > 0x7FFFFFF0u)
    throw EQuillboxError(TErrorKind::Usage, "synthetic .dbx file too large");
  return static_cast<std::int32_t>(image.size());
}

void Pad4(std::string& s) {
  while (s.size() % 4) s += '\0';
}

// One object under construction: field entries and the data area.
class ObjectBuilder {
 public:
  void Value(unsigned id, std::uint32_t value) { fields_.push_back((value << 8) | (id & 0xFF)); }
  void Text(unsigned id, const std::string& text) {
    Value(id, static_cast<std::uint32_t>(data_.size()));
    data_ += text;
    data_ += '\0';
  }
  void Bytes(unsigned id, const void* bytes, std::size_t n) {
    Value(id, static_cast<std::uint32_t>(data_.size()));
    data_.append(static_cast<const char*>(bytes), n);
  }
  // Appends the object to image; returns its position.
  std::int32_t WriteTo(std::string& image) {
    Pad4(data_);
    const std::int32_t pos = Pos(image);
    const std::size_t n = fields_.size();
    std::string obj(dbx::kObjHeaderSize, '\0');
    PutDbxI32(obj, dbx::kObjOwnPos, pos);
    PutDbxI32(obj, dbx::kObjBodyLength, static_cast<std::int32_t>(4 * n + data_.size()));
    obj[dbx::kObjFieldCount] = static_cast<char>(n);
    for (std::uint32_t f : fields_) PutDbxI32(obj, obj.size(), static_cast<std::int32_t>(f));
    obj += data_;
    image += obj;
    return pos;
  }

 private:
  std::vector<std::uint32_t> fields_;
  std::string data_;
};

// Writes text as a chain of data blocks; returns the block positions.
std::vector<std::int32_t> WriteBlocks(std::string& image, const std::string& text) {
  std::vector<std::int32_t> blocks;
  for (std::size_t off = 0; off < text.size(); off += dbx::kBlockTextSize) {
    const std::size_t used = std::min(dbx::kBlockTextSize, text.size() - off);
    const std::int32_t pos = Pos(image);
    const bool last = off + used >= text.size();
    std::string b(dbx::kBlockReadSize, '\0');
    PutDbxI32(b, dbx::kBlockOwnPos, pos);
    PutDbxI32(b, dbx::kBlockSize, static_cast<std::int32_t>(dbx::kBlockTextSize));
    PutDbxI32(b, dbx::kBlockUsed, static_cast<std::int32_t>(used));
    PutDbxI32(b, dbx::kBlockNext, last ? 0 : pos + static_cast<std::int32_t>(dbx::kBlockReadSize));
    b.replace(dbx::kBlockText, used, text, off, used);
    image += b;
    blocks.push_back(pos);
  }
  return blocks;
}

// Builds a B-tree over items: node +8 is the leftmost child, +12 the parent,
// and each entry's link the subtree of items that follow the entry.
class TreeBuilder {
 public:
  TreeBuilder(std::string& image, int perNode, std::vector<std::int32_t>& nodes)
      : image_(image), perNode_(std::max(1, perNode)), nodes_(nodes) {}

  std::int32_t Build(const std::vector<std::int32_t>& items, std::size_t lo, std::size_t hi,
                     std::int32_t parent) {
    const std::size_t n = hi - lo;
    if (n == 0) return 0;
    const std::size_t nodeSize =
        dbx::kNodeHeaderSize + dbx::kEntrySize * static_cast<std::size_t>(perNode_);
    const std::int32_t pos = Pos(image_);
    image_.append(nodeSize, '\0');
    nodes_.push_back(pos);
    PutDbxI32(image_, pos + dbx::kNodeOwnPos, pos);
    PutDbxI32(image_, pos + dbx::kNodeLinkFirst, parent);
    const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(perNode_));
    PutDbxI32(image_, pos + dbx::kNodeCountWord, static_cast<std::int32_t>(k << 8));
    if (n <= k) {
      for (std::size_t i = 0; i < k; ++i)
        PutDbxI32(image_, pos + dbx::kNodeHeaderSize + i * dbx::kEntrySize, items[lo + i]);
      return pos;
    }
    // k entries separate k + 1 child groups of nearly equal size.
    const std::size_t rest = n - k, g = rest / (k + 1), extra = rest % (k + 1);
    std::size_t at = lo;
    auto group = [&](std::size_t i) { return g + (i < extra ? 1 : 0); };
    const std::size_t g0 = group(0);
    const std::int32_t child = Build(items, at, at + g0, pos);
    PutDbxI32(image_, pos + dbx::kNodeLinkSecond, child);
    PutDbxI32(image_, pos + dbx::kNodeUnused20, static_cast<std::int32_t>(g0));
    at += g0;
    for (std::size_t i = 0; i < k; ++i) {
      const std::size_t e = pos + dbx::kNodeHeaderSize + i * dbx::kEntrySize;
      PutDbxI32(image_, e + dbx::kEntryObject, items[at++]);
      const std::size_t gi = group(i + 1);
      const std::int32_t link = Build(items, at, at + gi, pos);
      PutDbxI32(image_, e + dbx::kEntryLink, link);
      PutDbxI32(image_, e + dbx::kEntryUnused, static_cast<std::int32_t>(gi));
      at += gi;
    }
    return pos;
  }

 private:
  std::string& image_;
  int perNode_;
  std::vector<std::int32_t>& nodes_;
};

std::string Header(bool foldersFile) {
  std::string image(dbx::kHeaderSize, '\0');
  std::copy(std::begin(kSignature), std::end(kSignature), image.begin());
  std::copy(std::begin(kClassIdTail), std::end(kClassIdTail), image.begin() + 16);
  if (foldersFile) image[dbx::kHdrFileType] = static_cast<char>(0xC6);
  return image;
}

// Writes the index over the objects and fills in the header.
void Finish(std::string& image, const std::vector<std::int32_t>& objects,
            const TDbxWriteOptions& options, TDbxLayout& layout) {
  layout.Objects = objects;
  std::size_t mainItems = objects.size();
  if (options.Root48 == TDbxRoot48::Segment)
    mainItems -= std::min<std::size_t>(objects.size(),
                                       static_cast<std::size_t>(std::max(0, options.SegmentItems)));
  TreeBuilder tree(image, options.EntriesPerNode, layout.Nodes);
  layout.Root = tree.Build(objects, 0, mainItems, 0);
  std::int32_t root48 = layout.Root;
  switch (options.Root48) {
    case TDbxRoot48::MainRoot:
      break;
    case TDbxRoot48::LastNode:
      root48 = layout.Nodes.empty() ? 0 : layout.Nodes.back();
      break;
    case TDbxRoot48::Zero:
      root48 = 0;
      break;
    case TDbxRoot48::Segment:
      root48 = tree.Build(objects, mainItems, objects.size(), 0);
      break;
  }
  const std::int32_t count =
      options.OverrideItemCount ? options.ItemCount : static_cast<std::int32_t>(mainItems);
  PutDbxI32(image, dbx::kHdrIndexRoot, root48);
  PutDbxI32(image, dbx::kHdrItemCount, count);
  PutDbxI32(image, dbx::kHdrMainTreeRoot, layout.Root);
  PutDbxI32(image, dbx::kHdrFileSize, Pos(image));
}

}  // namespace

void PutDbxI32(std::string& image, std::size_t pos, std::int32_t value) {
  if (image.size() < pos + 4) image.resize(pos + 4, '\0');
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) image[pos + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string BuildDbxMessageFile(const std::vector<TDbxSynthMessage>& messages,
                                const TDbxWriteOptions& options, TDbxLayout* layout) {
  TDbxLayout local;
  TDbxLayout& out = layout ? *layout : local;
  out = {};
  std::string image = Header(false);
  std::vector<std::int32_t> objects;
  objects.reserve(messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const TDbxSynthMessage& m = messages[i];
    std::vector<std::int32_t> blocks = WriteBlocks(image, m.Text);
    const std::int32_t dataPos = blocks.empty() ? 0 : blocks.front();
    out.Blocks.push_back(std::move(blocks));
    ObjectBuilder obj;
    obj.Value(dbx::kMsgNumber, m.Number ? m.Number : static_cast<std::uint32_t>(i + 1));
    if (m.FlagsIndirect) {
      const unsigned char f[4] = {static_cast<unsigned char>(m.Flags & 0xFF),
                                  static_cast<unsigned char>((m.Flags >> 8) & 0xFF),
                                  static_cast<unsigned char>((m.Flags >> 16) & 0xFF), 0};
      obj.Bytes(dbx::kMsgFlagsIndirect, f, 4);
    } else {
      obj.Value(dbx::kMsgFlags, static_cast<std::uint32_t>(m.Flags) & 0xFFFFFF);
    }
    obj.Bytes(dbx::kMsgSentDate, m.SentDate.data(), 8);
    // A direct value has 24 bits: positions past 16 MB go through id 4.
    if (m.DataPosIndirect || dataPos > 0xFFFFFF) {
      unsigned char p[4];
      for (int b = 0; b < 4; ++b) p[b] = static_cast<unsigned char>(dataPos >> (8 * b));
      obj.Bytes(dbx::kMsgDataPosIndirect, p, 4);
    } else {
      obj.Value(dbx::kMsgDataPos, static_cast<std::uint32_t>(dataPos));
    }
    obj.Text(dbx::kMsgMessageId, m.MessageId);
    obj.Text(dbx::kMsgSubject, m.Subject);
    obj.Text(dbx::kMsgSender, m.Sender);
    obj.Value(dbx::kMsgSize, static_cast<std::uint32_t>(m.Text.size()) & 0xFFFFFF);
    obj.Bytes(dbx::kMsgReceivedDate, m.ReceivedDate.data(), 8);
    obj.Text(dbx::kMsgRecipients, m.Recipients);
    objects.push_back(obj.WriteTo(image));
  }
  Finish(image, objects, options, out);
  return image;
}

std::string BuildDbxFoldersFile(const std::vector<TDbxSynthFolder>& folders,
                                const TDbxWriteOptions& options, TDbxLayout* layout) {
  TDbxLayout local;
  TDbxLayout& out = layout ? *layout : local;
  out = {};
  std::string image = Header(true);
  std::vector<std::int32_t> objects;
  for (const TDbxSynthFolder& f : folders) {
    ObjectBuilder obj;
    obj.Value(dbx::kFolderId, static_cast<std::uint32_t>(f.Id) & 0xFFFFFF);
    obj.Value(dbx::kFolderParentId, static_cast<std::uint32_t>(f.ParentId) & 0xFFFFFF);
    obj.Text(dbx::kFolderName, f.Name);
    if (!f.FileName.empty()) obj.Text(dbx::kFolderFileName, f.FileName);
    if (f.Marker6) obj.Text(dbx::kFolderMarker6, "");
    objects.push_back(obj.WriteTo(image));
  }
  Finish(image, objects, options, out);
  return image;
}

void WriteDbxStore(const std::string& dir, const std::vector<TDbxSynthFolder>& folders,
                   const TDbxWriteOptions& options, const std::string& foldersFileName) {
  if (!ForceDirectories(dir)) throw EQuillboxError(TErrorKind::InOut, "cannot create " + dir);
  auto write = [&](const std::string& name, const std::string& bytes) {
    const std::string path = IncludeTrailingSlash(dir) + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw EQuillboxError(TErrorKind::InOut, "cannot write " + path);
  };
  write(foldersFileName, BuildDbxFoldersFile(folders, options));
  for (const TDbxSynthFolder& f : folders)
    if (!f.FileName.empty()) write(f.FileName, BuildDbxMessageFile(f.Messages, options));
}

void ApplyDbxDamage(std::string& image, const TDbxLayout& layout, TDbxDamage damage) {
  const std::vector<std::int32_t> none;
  const std::vector<std::int32_t>& chain = layout.Blocks.empty() ? none : layout.Blocks.front();
  switch (damage) {
    case TDbxDamage::ZeroByteInBlock:
      if (!chain.empty()) image[chain.front() + dbx::kBlockText + 100] = '\0';
      break;
    case TDbxDamage::WrongSecondBlockPos:
      if (chain.size() > 1) PutDbxI32(image, chain[1] + dbx::kBlockOwnPos, chain[1] + 1);
      break;
    case TDbxDamage::LoopingChain:
      if (!chain.empty()) PutDbxI32(image, chain.back() + dbx::kBlockNext, chain.front());
      break;
    case TDbxDamage::NodeLinksToAncestor:
      if (!layout.Nodes.empty())
        PutDbxI32(image, layout.Nodes.back() + dbx::kNodeLinkSecond, layout.Root);
      break;
    case TDbxDamage::SelfLinkedRoot:
      if (layout.Root > 0) {
        PutDbxI32(image, layout.Root + dbx::kNodeLinkSecond, layout.Root);
        PutDbxI32(image, layout.Root + dbx::kNodeLinkFirst, layout.Root);
        const std::uint32_t count =
            dbx::GetU32(reinterpret_cast<const unsigned char*>(image.data()) + layout.Root +
                        dbx::kNodeCountWord) >>
            8;
        for (std::uint32_t i = 0; i < count; ++i)
          PutDbxI32(image,
                    layout.Root + dbx::kNodeHeaderSize + i * dbx::kEntrySize + dbx::kEntryLink,
                    layout.Root);
      }
      break;
    case TDbxDamage::HugeItemCount:
      PutDbxI32(image, dbx::kHdrItemCount, 0x7FFFFFFF);
      break;
    case TDbxDamage::HugeEntryCount:
      if (layout.Root > 0) PutDbxI32(image, layout.Root + dbx::kNodeCountWord, -256);
      break;
    case TDbxDamage::HugeBodyLength:
      for (std::int32_t obj : layout.Objects)
        PutDbxI32(image, obj + dbx::kObjBodyLength, 0x7FFFFFFF);
      break;
    case TDbxDamage::HugeUsedCount:
      for (const auto& blocks : layout.Blocks)
        for (std::int32_t b : blocks) PutDbxI32(image, b + dbx::kBlockUsed, 0x7FFFFFFF);
      break;
    case TDbxDamage::Truncated:
      image.resize(image.size() / 2);
      break;
  }
}

}  // namespace qb
