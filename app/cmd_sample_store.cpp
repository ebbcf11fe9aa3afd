// quillbox-cli make-sample-store DIR: composes a small Outlook Express
// store to try the extraction on. The messages are composed by the MIME
// component and laid out by the .dbx writer; one message carries a
// uuencoded attachment written by hand, one links an image on the web
// (fetched only with --download-links), one carries a program that the
// shipped exclude list keeps out.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "mime/MoxMsg.h"
#include "mime/base64stream.h"
#include "oestore/dbxwriter.h"
#include "platform/i18n.h"
#include "platform/paths.h"

namespace qb::cli {
namespace {

void Put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 24-bit BMP of w x h pixels with a colour gradient.
std::string MakeBmp(int w, int h) {
  const int row = (w * 3 + 3) / 4 * 4;
  const std::uint32_t pixels = static_cast<std::uint32_t>(row * h);
  std::string s = "BM";
  Put32(s, 54 + pixels);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, static_cast<std::uint32_t>(w));
  Put32(s, static_cast<std::uint32_t>(h));
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, pixels);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      s.push_back(static_cast<char>(255 * x / (w - 1)));        // blue
      s.push_back(static_cast<char>(255 * y / (h - 1)));        // green
      s.push_back(static_cast<char>(255 - 255 * x / (w - 1)));  // red
    }
    s.append(static_cast<std::size_t>(row - w * 3), '\0');
  }
  return s;
}

// A one-page PDF saying text, with a correct cross-reference table.
std::string MakePdf(const std::string& text) {
  const std::string content = "BT /F1 18 Tf 72 720 Td (" + text + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t off : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// A 1x1 PNG.
const char* const kPngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg"
    "==";

struct TAttachmentSpec {
  std::string Name;
  std::string Bytes;
};

std::string Compose(const std::string& from, const std::string& name, const std::string& subject,
                    const std::string& date, const std::vector<std::string>& text,
                    const std::vector<std::string>& html,
                    const std::vector<TAttachmentSpec>& attachments) {
  TMoxMsg m;
  m.From = from;
  m.UserName = name;
  m.SetSendTo("\"Sam Sample\" <sam@example.org>");
  m.Subject = subject;
  m.DateText = date;
  m.Text = text;
  m.HTML = html;
  m.XMailer = "Quillbox sample store";
  for (const TAttachmentSpec& a : attachments) m.Attachments.Add(a.Name).Body().Assign(a.Bytes);
  m.FillRawMail();
  return JoinLines(m.RawMail);
}

// uuencode of bytes as "begin 644 name" ... "end".
std::string UUEncode(const std::string& name, const std::string& bytes) {
  auto ch = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string out = "begin 644 " + name + "\r\n";
  for (std::size_t i = 0; i < bytes.size(); i += 45) {
    const std::size_t n = std::min<std::size_t>(45, bytes.size() - i);
    out += ch(static_cast<unsigned>(n));
    for (std::size_t k = 0; k < n; k += 3) {
      unsigned char b[3] = {0, 0, 0};
      for (std::size_t t = 0; t < 3 && k + t < n; ++t)
        b[t] = static_cast<unsigned char>(bytes[i + k + t]);
      out += ch(b[0] >> 2);
      out += ch(((b[0] & 3) << 4) | (b[1] >> 4));
      out += ch(((b[1] & 15) << 2) | (b[2] >> 6));
      out += ch(b[2] & 63);
    }
    out += "\r\n";
  }
  return out + "`\r\nend\r\n";
}

TDbxSynthMessage Message(std::string raw, const std::string& subject) {
  TDbxSynthMessage m;
  m.Text = std::move(raw);
  m.Subject = subject;
  return m;
}

int MakeSampleStore(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("make-sample-store", Translate("give one directory"));
  const std::string dir = args[0];

  const std::string csv = "quarter,revenue,costs\r\nQ1,1200,800\r\nQ2,1350,820\r\nQ3,1500,870\r\n";
  const std::string notes =
      "Notes of the meeting\r\n\r\n- the plan is agreed\r\n- the next meeting is on Friday\r\n";
  const std::string minutes =
      "Minutes, 3 October 2003\r\n\r\nPresent: Ann, Bob, Sam.\r\nThe budget is approved.\r\n";
  const std::string rtf =
      "{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}\\f0\\pard "
      "Project plan: phase one ends in November.\\par}\r\n";
  const std::string program = std::string("MZ\x90\0\x03\0\0\0", 8) + "not a real program";

  std::vector<TDbxSynthMessage> inbox, work, photos;
  inbox.push_back(
      Message(Compose("ann@example.com", "Ann Archer", "Welcome to the sample store",
                      "Sun, 21 Sep 2003 09:15:00 +0200",
                      {"Hello Sam,", "", "this message has no attachment.", "Ann"}, {}, {}),
              "Welcome to the sample store"));
  inbox.push_back(Message(
      Compose(
          "ann@example.com", "Ann Archer", "Quarterly report", "Mon, 22 Sep 2003 14:02:11 +0200",
          {"The report and the figures are attached."}, {},
          {{"report.pdf", MakePdf("Quarterly report, third quarter 2003")}, {"figures.csv", csv}}),
      "Quarterly report"));
  inbox.push_back(
      Message(Compose("bob@example.net", "Bob Baker", "Tool you asked for",
                      "Tue, 23 Sep 2003 08:45:00 +0200", {"Here is the tool, and my notes on it."},
                      {}, {{"setup.exe", program}, {"notes.txt", notes}}),
              "Tool you asked for"));
  inbox.push_back(Message(
      Compose("news@example.com", "Example News", "Newsletter: autumn",
              "Wed, 24 Sep 2003 07:00:00 +0200", {"Our autumn newsletter, with a picture."},
              {"<html><body><h1>Autumn</h1>",
               "<p><a href=\"http://www.example.com/images/autumn-banner.jpg\">The banner</a></p>",
               "</body></html>"},
              {}),
      "Newsletter: autumn"));

  work.push_back(Message(
      Compose("carol@example.org", "Carol Cook", "Project plan", "Thu, 02 Oct 2003 16:20:00 +0200",
              {"The plan, as discussed."}, {}, {{"plan.rtf", rtf}}),
      "Project plan"));
  // Written the way old mailers did: the file uuencoded in the body.
  work.push_back(
      Message("From: \"Bob Baker\" <bob@example.net>\r\n"
              "To: \"Sam Sample\" <sam@example.org>\r\n"
              "Subject: Fwd: minutes\r\n"
              "Date: Fri, 03 Oct 2003 11:30:00 +0200\r\n"
              "\r\n"
              "The minutes are below.\r\n"
              "\r\n" +
                  UUEncode("minutes.txt", minutes),
              "Fwd: minutes"));

  photos.push_back(
      Message(Compose("ann@example.com", "Ann Archer", "Holiday pictures",
                      "Sat, 11 Oct 2003 19:05:42 +0200", {"Two pictures from the beach."}, {},
                      {{"beach.bmp", MakeBmp(32, 24)}, {"sunset.png", Base64Decode(kPngBase64)}}),
              "Holiday pictures"));

  std::vector<TDbxSynthFolder> folders;
  folders.push_back({1, 0, "Local Folders", "", true, {}});
  folders.push_back({2, 1, "Inbox", "Inbox.dbx", false, inbox});
  folders.push_back({3, 2, "Work", "Work.dbx", false, work});
  folders.push_back({4, 1, "Photos", "Photos.dbx", false, photos});
  folders.push_back({5, 1, "Sent Items", "Sent Items.dbx", false, {}});
  WriteDbxStore(dir, folders);
  std::printf("%s\n", dir.c_str());
  return kOk;
}

const Register kSampleStore({"make-sample-store", N_("DIR"),
                             N_("composes a small Outlook Express store in DIR to try extract on"),
                             MakeSampleStore, /*Hidden=*/true});

}  // namespace
}  // namespace qb::cli
