// What tests rely on to watch a plug-in: the trace, live counts, fault injection and the dead-object
// detector, including calls from several threads at once.
#include <thread>

#include "fixture.h"

namespace {

class TestSupportTest : public HostTest {};

TEST_F(TestSupportTest, TraceRecordsThePluginsCallsButNotTheHostsOwn) {
  std::vector<std::string> sunk;
  fmsim::setTraceSink([&](const fmsim::TraceEntry& e) { sunk.push_back(fmsim::formatTraceEntry(e)); });
  fmsim::setTracing(true);
  FmxData* hostMade = fmsim::makeTextDataUtf8("abc");  // the host's own call: not traced
  const FmxText* view = FM_Data_GetAsText(hostMade, &fresh());
  EXPECT_EQ(FM_Text_GetSize(view, &fresh()), 3u);
  FM_Text_GetSize(nullptr, &fresh());
  fmsim::setTracing(false);
  FM_Text_GetSize(view, &fresh());

  EXPECT_EQ(fmsim::traceOperations(),
            (std::vector<std::string>{"FM_Data_GetAsText", "FM_Text_GetSize", "FM_Text_GetSize"}));
  std::vector<fmsim::TraceEntry> entries = fmsim::traceEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].result, "3");
  EXPECT_EQ(entries[2].code, kHostErrorFailure);
  EXPECT_EQ(entries[2].operands, "text=null");
  EXPECT_EQ(sunk.size(), 3u);
  EXPECT_EQ(sunk[2], "FM_Text_GetSize(text=null) -> 0 [code 2]");
  fmsim::deleteData(hostMade);
  EXPECT_EQ(takeMisuse(), std::vector<std::string>{"FM_Text_GetSize: null"});
}

TEST_F(TestSupportTest, LiveCountsFollowConstructorsAndDeletesPerKind) {
  FmxText* a = FM_Text_Constructor1(&fresh());
  FmxText* b = FM_Text_Constructor1(&fresh());
  FmxData* data = FM_Data_Constructor1(&fresh());
  FM_Data_GetAsText(data, &fresh());
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Text), 2) << "views don't count";
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Data), 1);
  FM_Text_Delete(a, &fresh());
  FM_Data_Delete(data, &fresh());
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Text), 1);
  EXPECT_EQ(fmsim::totalLiveCount(), 1);
  FM_Text_Delete(b, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

TEST_F(TestSupportTest, AnArmedFaultFiresOnTheNthCallAndDoesNothingElse) {
  FmxText* t = FM_Text_Constructor1(&fresh());
  const uint16_t units[] = {'a', 'b', 0};
  ASSERT_TRUE(fmsim::armFault("FM_Text_AssignUnicode", 2, kHostErrorOutOfMemory));
  FM_Text_AssignUnicode(t, units, &fresh());
  EXPECT_EQ(code(), 0);
  FM_Text_AssignUnicode(t, units + 1, &fresh());
  EXPECT_EQ(code(), kHostErrorOutOfMemory);
  EXPECT_EQ(fmsim::textUnits(t), u"ab") << "the faulted call changed nothing";
  FM_Text_AssignUnicode(t, units + 1, &fresh());
  EXPECT_EQ(code(), 0) << "a fault fires once";
  EXPECT_EQ(fmsim::firedFaultCount(), 1u);

  ASSERT_TRUE(fmsim::armFault("FM_Text_Constructor1", 1, kHostErrorFailure));
  EXPECT_EQ(FM_Text_Constructor1(&fresh()), nullptr);
  EXPECT_EQ(code(), kHostErrorFailure);
  EXPECT_EQ(fmsim::liveCount(fmsim::ObjectKind::Text), 1);

  EXPECT_FALSE(fmsim::armFault("FM_No_Such", 1, 1));
  EXPECT_FALSE(fmsim::armFault("FM_Text_GetSize", 0, 1));
  EXPECT_FALSE(fmsim::armFault("FM_Text_GetSize", 1, 3));
  FM_Text_Delete(t, &fresh());
}

TEST_F(TestSupportTest, CallsOnDeadObjectsAreReportedNeverFollowed) {
  FmxText* t = FM_Text_Constructor1(&fresh());
  FM_Text_Delete(t, &fresh());
  // A new object must not take over the address just freed.
  FmxText* next = FM_Text_Constructor1(&fresh());
  EXPECT_NE(next, t);

  EXPECT_EQ(FM_Text_GetSize(t, &fresh()), 0u);
  EXPECT_EQ(code(), kHostErrorFailure);
  FM_Text_Delete(t, &fresh());
  EXPECT_EQ(code(), kHostErrorFailure) << "a double delete";
  int local = 0;
  FM_Text_GetSize(reinterpret_cast<const FmxText*>(&local), &fresh());
  FmxData* data = FM_Data_Constructor1(&fresh());
  FM_Text_GetSize(reinterpret_cast<const FmxText*>(data), &fresh());

  std::vector<fmsim::DeadObjectReport> reports = fmsim::takeDeadObjectReports();
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0].operation, "FM_Text_GetSize");
  EXPECT_EQ(reports[0].address, t);
  EXPECT_EQ(reports[0].reason, "deleted Text");
  EXPECT_EQ(reports[1].operation, "FM_Text_Delete");
  EXPECT_EQ(reports[2].reason, "never created");
  EXPECT_EQ(reports[3].reason, "wrong kind (Data, expected Text)");

  EXPECT_TRUE(fmsim::deadObjectReports().empty()) << "taken";
  FM_Text_Delete(next, &fresh());
  FM_Data_Delete(data, &fresh());
}

TEST_F(TestSupportTest, OperationsAreSafeFromManyThreads) {
  FmxText* shared = FM_Text_Constructor1(&fresh());
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([shared] {
      for (int n = 0; n < 2000; ++n) {
        HostErrorRecord err{1, 0};
        FmxText* own = FM_Text_Constructor1(&err);
        const uint16_t units[] = {'x', 0};
        FM_Text_AssignUnicode(own, units, &err);
        FM_Text_AppendText(shared, own, 0, 0xFFFFFFFFu, &err);
        FM_Text_Delete(own, &err);
        EXPECT_EQ(err.code, 0);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(FM_Text_GetSize(shared, &fresh()), 8000u);
  FM_Text_Delete(shared, &fresh());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

}  // namespace
