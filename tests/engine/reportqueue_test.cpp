#include "engine/reportqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace qb {
namespace {

// Writes down every call, as text, and on which thread it came.
class RecordingView : public IRunView {
 public:
  explicit RecordingView(TDelivery delivery) : delivery_(delivery) {}
  void AddLog(const std::string& line) override { Note("log " + line); }
  void AddNotice(const std::string& text) override { Note("notice " + text); }
  void SetStatusText(const std::string& text) override { Note("status " + text); }
  void SetProgressMax(int count) override { Note("max " + std::to_string(count)); }
  void SetProgressPosition(int value) override { Note("pos " + std::to_string(value)); }
  void ShowFolderRow(int i) override { Note("show " + std::to_string(i)); }
  void UpdateFolderRow(const std::string& name, int i, int status, int extracted, int messages,
                       int total) override {
    Note("row " + name + " " + std::to_string(i) + " " + std::to_string(status) + " " +
         std::to_string(extracted) + " " + std::to_string(messages) + " " + std::to_string(total));
  }
  TDelivery Delivery() const override { return delivery_; }

  std::vector<std::string> Calls;
  bool OffMainThread = false;

 private:
  void Note(std::string call) {
    if (!MainThreadDispatcher().IsMainThread()) OffMainThread = true;
    Calls.push_back(std::move(call));
    if (OnCall) OnCall(Calls.back());
  }

 public:
  std::function<void(const std::string&)> OnCall;

 private:
  TDelivery delivery_;
};

// A folder of a run as the worker reports it.
void ReportFolder(TReportQueue& q, int messages) {
  q.AddLog("Reading Messages from Inbox.dbx ...");
  q.AddNotice("Inbox.dbx: skipped damaged parts");
  q.ShowFolderRow(0);
  q.UpdateFolderRow("Inbox", 0, 2, 0, 0, messages);
  q.SetProgressMax(messages);
  for (int j = 0; j < messages; ++j) {
    q.UpdateFolderRow("Inbox", 0, 2, j / 2, j / 2, messages);  // changes every other message
    q.SetStatusText("Inbox : Processing Message " + std::to_string(j + 1) + " ...");
    q.SetProgressPosition(j);
    if (j % 10 == 0) q.AddLog("line " + std::to_string(j));
  }
  q.UpdateFolderRow("Inbox", 0, 3, messages / 2, messages / 2, messages);
  q.SetStatusText("Finished.");
  q.SetStatusText("Finished.");  // the same again: not sent
  q.AddLog("Finished.");
}

std::vector<std::string> Only(const std::vector<std::string>& calls, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

TEST(ReportQueue, FromAWorkerThreadEveryLogLineArrivesInOrderAndOnlyChangesAreSent) {
  using D = IRunView::TDelivery;
  for (const D delivery : {D::Wait, D::Queue, D::Coalesce}) {
    SCOPED_TRACE(static_cast<int>(delivery));
    // What a view that takes every report receives: each call, in order.
    RecordingView direct(D::Wait);
    {
      TReportQueue q(&direct, 0);  // on the main thread: delivered at once
      ReportFolder(q, 100);
    }
    EXPECT_EQ(Only(direct.Calls, "status").size(), 102u);
    EXPECT_EQ(Only(direct.Calls, "row").size(), 102u);

    RecordingView view(delivery);
    std::atomic<bool> done{false};
    std::thread worker([&] {
      {
        TReportQueue q(&view, 1);
        ReportFolder(q, 100);
        q.Flush();
        EXPECT_EQ(view.Calls.back(), "log Finished.") << "Flush returns once all arrived";
      }
      done = true;
      DefaultQueueDispatcher().Wake();
    });
    DefaultQueueDispatcher().ProcessUntil([&] { return done.load(); });
    worker.join();
    EXPECT_FALSE(view.OffMainThread);
    EXPECT_EQ(Only(view.Calls, "log"), Only(direct.Calls, "log"));
    EXPECT_EQ(Only(view.Calls, "max"), Only(direct.Calls, "max"));
    EXPECT_EQ(Only(view.Calls, "notice"), Only(direct.Calls, "notice"));
    EXPECT_EQ(view.Calls[1], "notice Inbox.dbx: skipped damaged parts") << "in its place";
    EXPECT_EQ(Only(view.Calls, "show"), Only(direct.Calls, "show"));
    if (delivery != D::Coalesce) {
      EXPECT_EQ(view.Calls, direct.Calls);
      continue;
    }
    // Fewer status texts, positions and rows (never one unchanged), but the
    // last of each and the log lines around them stand where they stood.
    EXPECT_LE(Only(view.Calls, "status").size(), 101u);
    EXPECT_LE(Only(view.Calls, "row").size(), 51u);
    EXPECT_EQ(Only(view.Calls, "status").back(), "status Finished.");
    EXPECT_EQ(Only(view.Calls, "row").back(), Only(direct.Calls, "row").back());
    EXPECT_EQ(Only(view.Calls, "pos").back(), "pos 99");
    EXPECT_EQ(view.Calls.back(), "log Finished.");
  }
}

// A report waits no longer than the interval for the next one: a call of
// the main thread takes it even while the worker is blocked in one step.
TEST(ReportQueue, AReportArrivesWithinTheIntervalWhileTheWorkerIsBlocked) {
  using D = IRunView::TDelivery;
  constexpr auto kInterval = std::chrono::milliseconds(200);
  for (const D delivery : {D::Queue, D::Coalesce}) {
    SCOPED_TRACE(static_cast<int>(delivery));
    RecordingView view(delivery);
    std::promise<void> arrived;
    view.OnCall = [&](const std::string& call) {
      if (call == "log Starting With Options :") arrived.set_value();
    };
    std::atomic<bool> done{false};
    std::chrono::steady_clock::duration waited{};
    std::thread worker([&] {
      {
        TReportQueue q(&view, static_cast<int>(kInterval.count()));
        q.AddLog("Starting With Options :");
        const auto queued = std::chrono::steady_clock::now();
        // Blocked in a step (a stalled link) until the line is on screen.
        arrived.get_future().wait_for(std::chrono::seconds(5));
        waited = std::chrono::steady_clock::now() - queued;
      }
      done = true;
      DefaultQueueDispatcher().Wake();
    });
    DefaultQueueDispatcher().ProcessUntil([&] { return done.load(); });
    worker.join();
    EXPECT_LT(waited, 2 * kInterval);
    EXPECT_EQ(view.Calls, std::vector<std::string>{"log Starting With Options :"});
  }
}

TEST(ReportQueue, WithoutAViewNothingIsSentAndFlushReturns) {
  TReportQueue q(nullptr);
  q.AddLog("x");
  q.Flush();
}

}  // namespace
}  // namespace qb
