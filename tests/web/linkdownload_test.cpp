#include "web/linkdownload.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/oIniFile.h"
#include "platform/paths.h"
#include "tests/support/testsupport.h"
#include "tests/web/testserver.h"

namespace qb {
namespace {

using test::TTestHttpServer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Anchor(const std::string& href) {
  return "<a href=\"" + href + "\">x</a>\r\n";
}

// A run's view of the download: its own target directory (inside a scratch
// directory, so anything written beside it shows), its own URL list, the
// test server, and a client with short timeouts that never uses a proxy.
class LinkDownload : public ::testing::Test {
 protected:
  LinkDownload()
      : noProxy_("no_proxy", "127.0.0.1,localhost"),
        noProxyUpper_("NO_PROXY", "127.0.0.1,localhost"),
        dir_(scratch_ / "out/2003.09.21") {}

  TLinkDownloadOptions Options(std::uint64_t cap = kMaxDownloadBytes) {
    THttpSettings s;
    s.ConnectTimeoutMs = 5000;
    TLinkDownloadOptions o;
    o.UrlListPath = UrlList();
    o.MaxFileBytes = cap;
    o.StallLimitMs = 500;
    o.Fetcher = std::make_shared<THttpClient>(s);
    return o;
  }
  TLinkDownloader Make(TExtensionListsSnapshot lists = {}) {
    return TLinkDownloader(std::move(lists), Options());
  }

  std::string UrlList() const { return scratch_ / "appdata/Quillbox/URLList.txt"; }
  // The lines of section "urls", or nothing when the list was never written.
  TStringList Noted() const {
    TStringList lines;
    if (!FileExists(UrlList())) return lines;
    TBigIniFile ini(UrlList());
    ini.ReadSectionValues("urls", lines);
    return lines;
  }
  // Every file written anywhere below the scratch directory, but the URL list.
  std::vector<std::string> Written() const {
    std::vector<std::string> files;
    for (const std::string& f : test::ListTree(scratch_.Path()))
      if (f.rfind("appdata/", 0) != 0) files.push_back(f);
    return files;
  }
  std::string Saved(const std::string& name) const { return test::ReadFile(dir_ + "/" + name); }

  test::ScopedEnv noProxy_, noProxyUpper_;
  test::TempDir scratch_;
  std::string dir_;
  TTestHttpServer server_;
};

TEST_F(LinkDownload, QueryIsLeftOutOfTheNameButNotedInTheList) {
  server_.Serve("/img/pic.jpg", "JPEG bytes");
  const std::string link = server_.Url("/img/pic.jpg?size=2");
  TLinkDownloader d = Make();
  EXPECT_EQ(d.DownloadLinks(dir_, "Offer - ", "<html>" + Anchor(link) + "</html>"), 1);
  EXPECT_EQ(Saved("Offer - pic.jpg"), "JPEG bytes");
  EXPECT_THAT(Written(), ElementsAre("out/2003.09.21/Offer - pic.jpg"));
  EXPECT_THAT(Noted(), ElementsAre(link + "=y"));
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].Target, "/img/pic.jpg?size=2");
  EXPECT_EQ(server_.Requests()[0].UserAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Win32)");

  // The key holds an "=", so noting it again adds another line.
  EXPECT_EQ(d.DownloadLinks(dir_, "Offer - ", Anchor(link)), 1);
  EXPECT_THAT(Noted(), ElementsAre(link + "=y", link + "=y"));
}

TEST_F(LinkDownload, ScriptWithQueryIsSavedUnderItsNameUnlessExcluded) {
  server_.Serve("/get.php", "generated");
  const std::string html = Anchor(server_.Url("/get.php?id=3"));
  EXPECT_EQ(Make().DownloadLinks(dir_, "", html), 1);
  EXPECT_EQ(Saved("get.php"), "generated");

  TExtensionListsSnapshot lists;
  lists.ExcludeEntries = {"exe", "php"};
  TStringList links;
  Make(lists).GetDownloadLinks(html, links);
  EXPECT_THAT(links, IsEmpty());
  EXPECT_EQ(Make(lists).DownloadLinks(scratch_ / "other", "", html), 0);
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(LinkDownload, EqualsSignWithoutQueryCountsButIsNotDownloaded) {
  server_.Serve("/a=b.jpg", "never");
  const std::string html = Anchor(server_.Url("/a=b.jpg"));
  TStringList links;
  TLinkDownloader d = Make();
  d.GetDownloadLinks(html, links);
  EXPECT_THAT(links, ElementsAre(server_.Url("/a=b.jpg")));
  EXPECT_EQ(d.DownloadLinks(dir_, "", html), 0);
  EXPECT_THAT(server_.Requests(), IsEmpty());
  EXPECT_THAT(Noted(), IsEmpty());
  EXPECT_THAT(Written(), IsEmpty());
}

TEST_F(LinkDownload, IncludeListAppliesOnlyToSelectedExtensionsAndEveryEntryCounts) {
  server_.Serve("/a.gif", "gif");
  server_.Serve("/b.jpg", "jpg");
  server_.Serve("/c.png", "png");
  const std::string html =
      Anchor(server_.Url("/a.gif")) + Anchor(server_.Url("/b.jpg")) + Anchor(server_.Url("/c.png"));
  TExtensionListsSnapshot lists;
  lists.IncludeEntries = {"jpg"};
  TStringList links;
  Make(lists).GetDownloadLinks(html, links);
  EXPECT_EQ(links.size(), 3u);  // "Extract ALL the Files.": the include list is not read

  lists.SelectedOnly = true;
  lists.ExcludeEntries = {"Png"};
  TLinkDownloader d = Make(lists);
  d.GetDownloadLinks(html, links);
  EXPECT_THAT(links, ElementsAre(server_.Url("/b.jpg")));
  EXPECT_EQ(d.DownloadLinks(dir_, "", html), 1);
  EXPECT_THAT(server_.Targets(), ElementsAre("/b.jpg"));

  // Exclusion wins over inclusion; entries compare in upper case.
  lists.IncludeEntries = {"JPG", "gif"};
  lists.ExcludeEntries = {"jPg"};
  Make(lists).GetDownloadLinks(html, links);
  EXPECT_THAT(links, ElementsAre(server_.Url("/a.gif")));
}

TEST_F(LinkDownload, LinksThatAreNeverFetched) {
  const std::string html = Anchor(server_.Url("/dir/")) + Anchor(server_.Url("/x.com")) +
                           Anchor("http://127.0.0.1/setup.EXE") + Anchor("http://127.0.0.1.de") +
                           Anchor("MailTo:joe@x.jpg") + Anchor("/images/root.jpg") +
                           Anchor(server_.Url("/noext")) + Anchor(server_.Url("/page.Net?x=1")) +
                           Anchor(server_.Url("/q.jpg?u=http://127.0.0.1/y")) + Anchor("");
  TStringList links;
  TLinkDownloader d = Make();
  d.GetDownloadLinks(html, links);
  EXPECT_THAT(links, IsEmpty());
  EXPECT_EQ(d.DownloadLinks(dir_, "", html), 0);
  EXPECT_THAT(server_.Requests(), IsEmpty());
  EXPECT_THAT(Noted(), IsEmpty());
}

TEST_F(LinkDownload, RelativeLinkIsNotedAndFailsToOpen) {
  const std::string html = Anchor("images/pic.gif");
  TStringList links;
  TLinkDownloader d = Make();
  d.GetDownloadLinks(html, links);
  EXPECT_THAT(links, ElementsAre("images/pic.gif"));
  EXPECT_EQ(d.DownloadLinks(dir_, "", html), 0);
  EXPECT_THAT(Noted(), ElementsAre("images/pic.gif=y"));
  EXPECT_THAT(Written(), IsEmpty());
}

TEST_F(LinkDownload, LinksDifferingOnlyInCaseCountOnce) {
  server_.Serve("/Pic.JPG", "once");
  const std::string html = Anchor(server_.Url("/Pic.JPG")) + Anchor(server_.Url("/pic.jpg")) +
                           Anchor(" " + server_.Url("/PIC.jpg") + " ");
  TStringList links;
  TLinkDownloader d = Make();
  d.GetDownloadLinks(html, links);
  EXPECT_THAT(links, ElementsAre(server_.Url("/Pic.JPG")));
  EXPECT_EQ(d.DownloadLinks(dir_, "", html), 1);
  EXPECT_THAT(server_.Targets(), ElementsAre("/Pic.JPG"));
}

// What one message's downloads told their run.
struct TRunSeen {
  std::vector<std::string> Log, Notices;
  TLinkRun Run(std::function<bool()> stopped = {}) {
    TLinkRun run;
    run.MessageNumber = "7";
    run.Folder = "Inbox.dbx";
    run.Stopped = std::move(stopped);
    run.Log = [this](const std::string& line) { Log.push_back(line); };
    run.Notice = [this](const std::string& line) { Notices.push_back(line); };
    return run;
  }
};

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Only a success reply that came whole is placed; everything else is
// removed, logged and counted as failed, each within the short limits.
TEST_F(LinkDownload, OnlyAWholeSuccessReplyIsPlaced) {
  using Conn = TTestHttpServer::Conn;
  using Req = TTestHttpServer::Request;
  const auto drip = [](Conn& c) {
    while (c.Send("d") && c.Wait(100)) {
    }
  };
  struct Case {
    std::string Name;
    TTestHttpServer::Route Route;
    bool Placed;
    std::string Body;  // what is placed
  } cases[] = {
      {"whole", [](const Req&, Conn& c) { c.Reply(200, "whole body"); }, true, "whole body"},
      {"unpromised", [](const Req&, Conn& c) { c.SendHead(200, -1) && c.Send("to the end"); }, true,
       "to the end"},
      {"empty", [](const Req&, Conn& c) { c.Reply(200, ""); }, true, ""},
      {"not-found", [](const Req&, Conn& c) { c.Reply(404, "<html>not found</html>"); }, false, ""},
      {"server-error", [](const Req&, Conn& c) { c.Reply(500, "oops"); }, false, ""},
      {"no-location", [](const Req&, Conn& c) { c.Reply(302, "moved"); }, false, ""},
      {"short", [](const Req&, Conn& c) { c.SendHead(200, 1000000) && c.Send("12345"); }, false,
       ""},
      {"endless",
       [](const Req&, Conn& c) {
         const std::string block(65536, 'e');
         if (c.SendHead(200, -1))
           while (c.Send(block)) {
           }
       },
       false, ""},
      {"drip", [drip](const Req&, Conn& c) { c.SendHead(200, 100000) && (drip(c), true); }, false,
       ""},
      {"drip-head",
       [drip](const Req&, Conn& c) { c.Send("HTTP/1.1 200 OK\r\nX-Slow: ") && (drip(c), true); },
       false, ""},
      {"stall",
       [](const Req&, Conn& c) { c.SendHead(200, 100000) && c.Send("first") && c.Wait(20000); },
       false, ""},
      {"silent", [](const Req&, Conn& c) { c.Wait(20000); }, false, ""},
  };
  for (const Case& c : cases) {
    server_.On("/" + c.Name + ".jpg", c.Route);
    TLinkDownloadOptions o = Options(100000);
    o.TransferLimitMs = 1500;
    TLinkDownloader d({}, o);
    TTargetPath target;
    target.Directory = dir_ + "/" + c.Name + "/";
    TRunSeen seen;
    const Clock::time_point start = Clock::now();
    const TLinkResult r =
        d.DownloadMessageLinks(target, {Anchor(server_.Url("/" + c.Name + ".jpg"))}, seen.Run());
    EXPECT_LT(SecondsSince(start), 3.0) << c.Name;
    const std::string file = c.Name + ".jpg";
    EXPECT_EQ(r.Written, c.Placed ? 1 : 0) << c.Name;
    EXPECT_EQ(r.Failed, c.Placed ? 0 : 1) << c.Name;
    EXPECT_EQ(test::ListTree(dir_ + "/" + c.Name),
              c.Placed ? std::vector<std::string>{file} : std::vector<std::string>{})
        << c.Name;
    if (c.Placed) {
      EXPECT_EQ(Saved(c.Name + "/" + file), c.Body) << c.Name;
    }
    EXPECT_EQ(seen.Log,
              c.Placed ? std::vector<std::string>{}
                       : std::vector<std::string>{"Unable to Save Attachment " + target.Directory +
                                                  file + " of Message(7) in Inbox.dbx"})
        << c.Name;
    EXPECT_THAT(seen.Notices, IsEmpty()) << c.Name;
  }

  // A link that cannot be opened is no failure, and says nothing.
  TRunSeen seen;
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(TTestHttpServer::RefusedPort()) + "/pic.jpg";
  TTargetPath target;
  target.Directory = dir_ + "/";
  const TLinkResult r = Make().DownloadMessageLinks(target, {Anchor(refused)}, seen.Run());
  EXPECT_EQ(r.Written + r.Failed, 0);
  EXPECT_THAT(seen.Log, IsEmpty());
}

// When a message's time runs out, the transfer under way ends and the links
// left, in every body, are logged as not fetched, after one notice.
TEST_F(LinkDownload, MessageTimeRunsOutAcrossItsBodies) {
  server_.On("/a.jpg", [](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.SendHead(200, 100000) && c.Send("a") && c.Wait(20000);
  });
  server_.Serve("/b.jpg", "b");
  server_.Serve("/c.gif", "c");
  TLinkDownloadOptions o = Options();
  o.TransferLimitMs = o.StallLimitMs = 10000;
  o.MessageBudgetMs = 300;
  TLinkDownloader d({}, o);
  TTargetPath target;
  target.Directory = dir_ + "/";
  TRunSeen seen;
  const Clock::time_point start = Clock::now();
  const TLinkResult r =
      d.DownloadMessageLinks(target,
                             {Anchor(server_.Url("/a.jpg")),
                              Anchor(server_.Url("/b.jpg")) + Anchor(server_.Url("/c.gif"))},
                             seen.Run());
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_EQ(r.Written, 0);
  EXPECT_EQ(r.Failed, 3);
  EXPECT_THAT(Written(), IsEmpty());
  EXPECT_THAT(server_.Targets(), ElementsAre("/a.jpg"));
  EXPECT_THAT(Noted(), ElementsAre(server_.Url("/a.jpg") + "=y"));
  EXPECT_THAT(
      seen.Log,
      ElementsAre("Unable to Save Attachment " + dir_ + "/a.jpg of Message(7) in Inbox.dbx",
                  "Link Not Fetched " + server_.Url("/b.jpg") + " of Message(7) in Inbox.dbx",
                  "Link Not Fetched " + server_.Url("/c.gif") + " of Message(7) in Inbox.dbx"));
  EXPECT_THAT(
      seen.Notices,
      ElementsAre("Download Time Used Up for Message(7) in Inbox.dbx : 2 Links Not Fetched"));
}

// A stop request ends the transfer under way at once; nothing is kept or
// said, and no other link is tried.
TEST_F(LinkDownload, StopRequestEndsTheTransferAtOnce) {
  server_.On("/hold.jpg", [](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.SendHead(200, 100000) && c.Send("held") && c.Wait(20000);
  });
  server_.Serve("/next.jpg", "next");
  TLinkDownloadOptions o = Options();
  o.TransferLimitMs = o.StallLimitMs = 10000;
  TLinkDownloader d({}, o);
  TTargetPath target;
  target.Directory = dir_ + "/";
  std::atomic<bool> stop{false};
  TRunSeen seen;
  Clock::time_point stopAt;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stopAt = Clock::now();
    stop = true;
  });
  const TLinkResult r = d.DownloadMessageLinks(
      target, {Anchor(server_.Url("/hold.jpg")) + Anchor(server_.Url("/next.jpg"))},
      seen.Run([&] { return stop.load(); }));
  const Clock::time_point end = Clock::now();
  stopper.join();
  EXPECT_LT(std::chrono::duration<double>(end - stopAt).count(), 0.5);
  EXPECT_EQ(r.Written + r.Failed, 0);
  EXPECT_THAT(Written(), IsEmpty());
  EXPECT_THAT(seen.Log, IsEmpty());
  EXPECT_THAT(server_.Targets(), ElementsAre("/hold.jpg"));
}

TEST_F(LinkDownload, RedirectIsFollowedAndSavedUnderTheLinkName) {
  server_.On("/old.gif", [&](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.Reply(302, "moved", "Location: " + server_.Url("/new/real.gif") + "\r\n");
  });
  server_.Serve("/new/real.gif", "GIF89a");
  EXPECT_EQ(Make().DownloadLinks(dir_, "", Anchor(server_.Url("/old.gif"))), 1);
  EXPECT_EQ(Saved("old.gif"), "GIF89a");
  EXPECT_THAT(server_.Targets(), ElementsAre("/old.gif", "/new/real.gif"));
}

TEST_F(LinkDownload, RedirectLoopAndRedirectToNowhereAreNotOpened) {
  server_.On("/loop.gif", [&](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.Reply(302, "", "Location: /loop.gif\r\n");
  });
  const int refused = TTestHttpServer::RefusedPort();
  server_.On("/away.gif", [&](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.Reply(301, "", "Location: http://127.0.0.1:" + std::to_string(refused) + "/x.gif\r\n");
  });
  TLinkDownloader d = Make();
  EXPECT_EQ(d.DownloadLinks(dir_, "", Anchor(server_.Url("/loop.gif"))), 0);
  EXPECT_EQ(server_.Requests().size(), 11u);  // the first request and ten redirects
  EXPECT_EQ(d.DownloadLinks(dir_, "", Anchor(server_.Url("/away.gif"))), 0);
  EXPECT_THAT(Written(), IsEmpty());
}

// A port whose listen queue is full: a new connection neither completes
// nor is refused.
class TBlackHole {
 public:
  TBlackHole() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listen_, 0) != 0)
      return;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    for (int i = 0; i < 4; ++i) {  // fill the queue; these never get accepted
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), len);
      fillers_.push_back(fd);
    }
  }
  ~TBlackHole() {
    for (int fd : fillers_) ::close(fd);
    ::close(listen_);
  }
  int Port() const { return port_; }

 private:
  int listen_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

TEST_F(LinkDownload, RedirectToAHostThatNeverConnectsIsNotPlaced) {
  TBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  server_.On("/hole.gif", [&](const TTestHttpServer::Request&, TTestHttpServer::Conn& c) {
    c.Reply(302, "", "Location: http://127.0.0.1:" + std::to_string(hole.Port()) + "/x.gif\r\n");
  });
  EXPECT_EQ(Make().DownloadLinks(dir_, "", Anchor(server_.Url("/hole.gif"))), 0);
  EXPECT_THAT(Written(), IsEmpty());
}

TEST_F(LinkDownload, RefusedConnectionIsNotCountedButNoted) {
  const std::string link =
      "http://127.0.0.1:" + std::to_string(TTestHttpServer::RefusedPort()) + "/pic.jpg";
  EXPECT_EQ(Make().DownloadLinks(dir_, "", Anchor(link)), 0);
  EXPECT_THAT(Written(), IsEmpty());
  EXPECT_THAT(Noted(), ElementsAre(link + "=y"));
}

TEST_F(LinkDownload, UnreadableUrlListSkipsTheLink) {
  server_.Serve("/pic.jpg", "x");
  ASSERT_TRUE(ForceDirectories(UrlList()));  // a directory where the list should be
  EXPECT_EQ(Make().DownloadLinks(dir_, "", Anchor(server_.Url("/pic.jpg"))), 0);
  EXPECT_THAT(server_.Requests(), IsEmpty());
}

TEST_F(LinkDownload, NothingIsWrittenOutsideTheTargetDirectory) {
  server_.OnOther(
      [](const TTestHttpServer::Request& r, TTestHttpServer::Conn& c) { c.Reply(200, r.Target); });
  const std::string longName(400, 'n');
  const std::string html =
      Anchor(server_.Url("/..%2F..%2Fescape.jpg")) + Anchor(server_.Url("/a/..\\..\\back.gif")) +
      Anchor(server_.Url("/x/..")) + Anchor(server_.Url("/" + longName + ".jpg")) +
      Anchor(server_.Url("/%2E%2E%2Fenc.gif?p=../../up.gif")) +
      Anchor("http://127.0.0.1:" + std::to_string(server_.Port())) +
      Anchor("ftp://127.0.0.1:" + std::to_string(TTestHttpServer::RefusedPort()) + "/f.gif") +
      Anchor(server_.Url("/caf\xE9.jpg"));
  TLinkDownloader d = Make();
  EXPECT_EQ(d.DownloadLinks(dir_, "../../pre/", html), 6);
  std::vector<std::string> files = Written();
  for (const std::string& f : files) EXPECT_EQ(f.rfind("out/2003.09.21/", 0), 0u) << f;
  EXPECT_THAT(files, ::testing::UnorderedElementsAre(
                         "out/2003.09.21/____pre__%2F_%2Fescape.jpg",
                         "out/2003.09.21/____pre_back.gif", "out/2003.09.21/____pre__",
                         "out/2003.09.21/____pre_" + std::string(255 - 4 - 8, 'n') + ".jpg",
                         "out/2003.09.21/____pre_%2E%2E%2Fenc.gif",
                         "out/2003.09.21/____pre_caf\xC3\xA9.jpg"));
}

TEST(LinkDownloadNames, SafeNamesStayOneComponent) {
  EXPECT_EQ(SafeDownloadName(" a<b>c*d?e\"f:g\\h/i.jpg "), "a%3Cb%3Ec%2Ad%3Fe%22f_g_h_i.jpg");
  EXPECT_EQ(SafeDownloadName(".."), "_");
  EXPECT_EQ(SafeDownloadName("..."), "_.");
  EXPECT_EQ(SafeDownloadName("."), "");
  EXPECT_EQ(SafeDownloadName("  "), "");
  EXPECT_EQ(SafeDownloadName(std::string("a\0b.gif", 7)), "a_b.gif");
  // Cut to 255 bytes, keeping the extension and whole UTF-8 characters.
  std::string name = SafeDownloadName(std::string(300, '\xE9') + ".jpeg");
  EXPECT_EQ(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 5), ".jpeg");
  EXPECT_EQ(name.substr(0, 2), "\xC3\xA9");
  name = SafeDownloadName(std::string(300, 'x') + "." + std::string(40, 'y'));
  EXPECT_EQ(name, std::string(255, 'x'));

  EXPECT_EQ(SafeDownloadPath("/t/a..b/ x.gif"), "/t/a_b/x.gif");
  EXPECT_EQ(SafeDownloadPath("name-only.gif"), "");
  EXPECT_EQ(SafeDownloadPath("/t/dir/"), "");
}

TEST(HttpClient, OnlyWebAndFtpLinksAreHandedOn) {
  EXPECT_EQ(THttpClient::PrepareLink("images/pic.gif"), "");
  EXPECT_EQ(THttpClient::PrepareLink("file:///etc/passwd.gif"), "");
  EXPECT_EQ(THttpClient::PrepareLink("www.example.org/a.gif"), "");
  EXPECT_EQ(THttpClient::PrepareLink("HTTP://h/a b\xE9.gif"), "HTTP://h/a%20b%E9.gif");
  EXPECT_EQ(THttpClient::PrepareLink("ftp://h/a.gif"), "ftp://h/a.gif");
  EXPECT_EQ(THttpClient::PrepareLink("https://h/a.gif"), "https://h/a.gif");
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// Plays a transfer from a script, without any network.
class TScriptedFetcher : public IHttpFetcher {
 public:
  TFetchResult Result = TFetchResult::Completed;
  std::string Body;
  std::vector<std::string> Links;
  TFetchResult Fetch(const std::string& link, IDownloadSink& sink) override {
    Links.push_back(link);
    if (Result == TFetchResult::NotOpened) return Result;
    if (!sink.Opened()) return TFetchResult::Abandoned;
    for (std::size_t i = 0; i < Body.size(); i += kReadPieceSize)
      if (!sink.Write(Body.data() + i, std::min(kReadPieceSize, Body.size() - i)))
        return TFetchResult::StoppedBySink;
    return Result;
  }
};

class DownloadFileTarget : public ::testing::Test {
 protected:
  TLinkDownloader Make(std::uint64_t cap = kMaxDownloadBytes) {
    TLinkDownloadOptions o;
    o.UrlListPath = dir_ / "URLList.txt";
    o.MaxFileBytes = cap;
    o.Fetcher = fetcher_;
    return TLinkDownloader({}, o);
  }
  test::TempDir dir_;
  std::shared_ptr<TScriptedFetcher> fetcher_ = std::make_shared<TScriptedFetcher>();
};

TEST_F(DownloadFileTarget, MissingDirectoriesAreCreatedAndOtherFilesKept) {
  fetcher_->Body = "new";
  test::WriteFile(dir_ / "a/b/x.gif", "old and longer");
  // Other bytes under the name: the download takes the next free number;
  // the same bytes again: nothing is written, and it counts.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(TDownloadOutcome::Placed, Make().DownloadFile("http://h/x.gif", dir_ / "a/b/x.gif"));
    EXPECT_EQ(test::ReadFile(dir_ / "a/b/x.gif"), "old and longer");
    EXPECT_EQ(test::ReadFile(dir_ / "a/b/x (2).gif"), "new");
  }
  EXPECT_EQ(TDownloadOutcome::Placed, Make().DownloadFile("http://h/x.gif", dir_ / "c/d/ x.gif "));
  EXPECT_EQ(test::ReadFile(dir_ / "c/d/x.gif"), "new");
  EXPECT_EQ(test::ListTree(dir_.Path()).size(), 3u) << "no temporary file stays";
}

TEST_F(DownloadFileTarget, FailuresToOpenOrCreateAreNotCountedAndLeaveNoFile) {
  fetcher_->Result = TFetchResult::NotOpened;
  EXPECT_EQ(TDownloadOutcome::NotOpened, Make().DownloadFile("http://h/x.gif", dir_ / "x.gif"));
  EXPECT_FALSE(FileExists(dir_ / "x.gif"));

  fetcher_->Result = TFetchResult::Completed;
  ASSERT_TRUE(ForceDirectories(dir_ / "taken.gif"));  // a directory holds the name
  EXPECT_EQ(TDownloadOutcome::Placed,
            Make().DownloadFile("http://h/taken.gif", dir_ / "taken.gif"));
  EXPECT_TRUE(FileExists(dir_ / "taken (2).gif"));

  test::WriteFile(dir_ / "file", "");  // a file where the directory should be
  const std::size_t before = fetcher_->Links.size();
  EXPECT_EQ(TDownloadOutcome::NotOpened,
            Make().DownloadFile("http://h/y.gif", dir_ / "file/y.gif"));
  EXPECT_EQ(fetcher_->Links.size(), before);  // not even fetched
}

TEST_F(DownloadFileTarget, PlantedSymlinkIsNotFollowed) {
  test::TempDir outside;
  test::WriteFile(outside / "victim.txt", "untouched");
  ASSERT_EQ(::symlink((outside / "victim.txt").c_str(), (dir_ / "pic.gif").c_str()), 0);
  fetcher_->Body = "payload";
  // The name is taken: the file goes on to the next one, the link stays.
  EXPECT_EQ(TDownloadOutcome::Placed, Make().DownloadFile("http://h/pic.gif", dir_ / "pic.gif"));
  EXPECT_EQ(test::ReadFile(outside / "victim.txt"), "untouched");
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ / "pic.gif").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(DownloadFileTarget, MessageTargetsFollowTheRulesOfAttachments) {
  const TDateTime date = EncodeDate(2003, 9, 21);
  std::string cyrillic;
  for (int i = 0; i < 100; ++i) cyrillic += "\xD0\x96";
  struct Case {
    const char* Name;
    const char* LinkAt;  // a directory link planted below the destination, or ""
    bool Full;
    std::string Subject, Link;
    bool Fetched;
    std::string Expected;  // the file below dest/outlookExpress/, or "" for none
  } cases[] = {
      {"plain", "", false, "S", "http://h/p.gif", true, "2003.09.21/S/p.gif"},
      {"date level is a link", "outlookExpress/2003.09.21", false, "S", "http://h/p.gif", false,
       ""},
      {"root is a link", "outlookExpress", true, "S", "http://h/p.gif", false, ""},
      {"subject cut before the name", "", true, cyrillic,
       "http://h/" + std::string(200, 'n') + ".gif", true,
       "2003.09.21 - " + cyrillic.substr(0, 34) + " - " + std::string(200, 'n') + ".gif"},
  };
  for (const Case& c : cases) {
    test::TempDir outer;
    const std::string dest = outer / "dest";
    ForceDirectories(outer / "outside");
    if (*c.LinkAt) {
      const std::string at = dest + "/" + c.LinkAt;
      ForceDirectories(at.substr(0, at.rfind('/')));
      ASSERT_EQ(::symlink((outer / "outside").c_str(), at.c_str()), 0);
    }
    TNamingOptions o;
    o.DestinationDir = dest;
    o.Layout = 0;
    o.FullFileName = c.Full;
    const TTargetPath t = BuildTargetPath(c.Subject, "", date, o);
    fetcher_->Body = "img";
    const std::string n = LinkTargetName(c.Link);
    EXPECT_EQ(Make().DownloadFile(c.Link, t, n) == TDownloadOutcome::Placed, c.Fetched) << c.Name;
    EXPECT_EQ(test::ListTree(outer / "outside"), std::vector<std::string>{}) << c.Name;
    EXPECT_EQ(test::ListTree(dest + "/outlookExpress"), c.Expected.empty()
                                                            ? std::vector<std::string>{}
                                                            : std::vector<std::string>{c.Expected})
        << c.Name;
  }
}

TEST_F(DownloadFileTarget, AWriteThatFailsLeavesNothing) {
  fetcher_->Body = std::string(20000, 'b');
  TDownloadOutcome fetched = TDownloadOutcome::Placed;
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Set());
    fetched = Make().DownloadFile("http://h/big.gif", dir_ / "big.gif");
  }
  EXPECT_EQ(fetched, TDownloadOutcome::Failed);
  EXPECT_THAT(test::ListTree(dir_.Path()), IsEmpty());
}

TEST_F(DownloadFileTarget, OnlyAWholeBodyWithinTheCapIsPlaced) {
  fetcher_->Body = std::string(5000, 'b');
  const struct {
    TFetchResult Result;
    std::uint64_t Cap;
    TDownloadOutcome Outcome;
  } cases[] = {
      {TFetchResult::Completed, 5000, TDownloadOutcome::Placed},  // exactly the cap is whole
      {TFetchResult::Completed, 4999, TDownloadOutcome::Failed},
      {TFetchResult::Ended, 10000, TDownloadOutcome::Failed},
      {TFetchResult::Rejected, 10000, TDownloadOutcome::Failed},
      {TFetchResult::TimedOut, 10000, TDownloadOutcome::Failed},
      {TFetchResult::Stopped, 10000, TDownloadOutcome::Stopped},
  };
  for (const auto& c : cases) {
    fetcher_->Result = c.Result;
    test::TempDir out;
    EXPECT_EQ(Make(c.Cap).DownloadFile("http://h/e.gif", out / "e.gif"), c.Outcome)
        << static_cast<int>(c.Result) << " " << c.Cap;
    EXPECT_EQ(test::ListTree(out.Path()), c.Outcome == TDownloadOutcome::Placed
                                              ? std::vector<std::string>{"e.gif"}
                                              : std::vector<std::string>{});
  }
}

// Records what a real transfer hands over.
class TRecordingSink : public IDownloadSink {
 public:
  bool Opened() override { return ++opened, true; }
  bool Write(const char* data, std::size_t size) override {
    largest = std::max(largest, size);
    body.append(data, size);
    return true;
  }
  int opened = 0;
  std::size_t largest = 0;
  std::string body;
};

TEST(HttpClientTransfer, BodyArrivesInPiecesOfAtMost1024Bytes) {
  test::ScopedEnv noProxy("no_proxy", "127.0.0.1");
  test::ScopedEnv noProxyUpper("NO_PROXY", "127.0.0.1");
  test::TTestHttpServer server;
  std::string body;
  for (int i = 0; i < 20000; ++i) body += static_cast<char>('a' + i % 26);
  server.Serve("/big.bin", body);
  server.Serve("/empty.gif", "");
  THttpClient client;
  TRecordingSink sink;
  EXPECT_EQ(client.Fetch(server.Url("/big.bin"), sink), TFetchResult::Completed);
  EXPECT_EQ(sink.opened, 1);
  EXPECT_EQ(sink.body, body);
  EXPECT_EQ(sink.largest, 1024u);

  TRecordingSink empty;  // an empty body still opens
  EXPECT_EQ(client.Fetch(server.Url("/empty.gif"), empty), TFetchResult::Completed);
  EXPECT_EQ(empty.opened, 1);
  EXPECT_EQ(client.Settings().ConnectTimeoutMs, 60000);
  EXPECT_EQ(client.Settings().MaxRedirects, 10);
}

}  // namespace
}  // namespace qb
