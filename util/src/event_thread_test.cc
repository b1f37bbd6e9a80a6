#include "CmThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "KovaResult.h"

namespace {

// Counts how often the events sharing it were fired and disposed of.
struct EventCounts {
  std::atomic<int> fired{0};
  std::atomic<int> disposed{0};
};

// Runs a function when fired; counts firing and disposal (the queue's
// default disposal deletes the event).
struct CountedEvent : ICmEvent {
  CountedEvent(EventCounts* p, std::function<void()> f)
      : pCounts(p), fn(std::move(f)) {}
  ~CountedEvent() override { ++pCounts->disposed; }
  int OnEventFire() override {
    ++pCounts->fired;
    if (fn) fn();
    return CM_OK;
  }
  EventCounts* pCounts;
  std::function<void()> fn;
};

// One event thread per test. The counts are declared first so that they
// outlive the thread, whose destructor still fires what is queued.
class EventThreadTest : public ::testing::Test {
 protected:
  int post(std::function<void()> fn = nullptr, EventCounts* pCounts = nullptr) {
    return m_queue->PostEvent(
        new CountedEvent(pCounts ? pCounts : &m_counts, std::move(fn)));
  }
  int send(std::function<void()> fn = nullptr) {
    return m_queue->SendEvent(new CountedEvent(&m_counts, std::move(fn)));
  }

  EventCounts m_counts;
  std::unique_ptr<ACmThread> m_thread = CreateCmEventThread("test");
  ICmEventQueue* m_queue = m_thread->GetEventQueue();
  // Holds the queue thread inside an event until the test opens it.
  std::promise<void> m_gate;
  std::shared_future<void> m_opened = m_gate.get_future().share();
};

TEST_F(EventThreadTest, PostedEventsFireInOrderOnTheQueueThread) {
  std::vector<int> order;  // written on the queue thread only
  std::vector<unsigned long> ids;
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(CM_OK, post([&order, &ids, i] {
                order.push_back(i);
                ids.push_back(GetThreadSelfId());
              }));
  }
  m_thread->Stop();  // fires everything queued, then joins
  ASSERT_EQ(200u, order.size());
  for (int i = 0; i < 200; ++i) EXPECT_EQ(i, order[i]);
  for (unsigned long id : ids) EXPECT_EQ(m_thread->GetThreadId(), id);
  EXPECT_EQ(200, m_counts.disposed);
}

TEST_F(EventThreadTest, SendEventReturnsAfterTheEventRanThere) {
  // Several senders at once: each must see its own event done on return.
  std::vector<std::thread> senders;
  std::atomic<int> failures{0};
  for (int s = 0; s < 4; ++s) {
    senders.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        bool ran = false;  // written on the queue thread, read here after
        unsigned long ranOn = 0;
        const int rc = send([&] {
          for (int spin = 0; spin < 100; ++spin) std::this_thread::yield();
          ranOn = GetThreadSelfId();
          ran = true;
        });
        if (rc != CM_OK || !ran || ranOn != m_thread->GetThreadId()) ++failures;
      }
    });
  }
  for (std::thread& t : senders) t.join();
  EXPECT_EQ(0, failures);

  // A send from the queue thread itself runs inline instead of waiting.
  bool innerRanBeforeReturn = false;
  const auto outer = [&] {
    bool innerRan = false;
    EXPECT_EQ(CM_OK, send([&innerRan] { innerRan = true; }));
    innerRanBeforeReturn = innerRan;
  };
  ASSERT_EQ(CM_OK, send(outer));
  EXPECT_TRUE(innerRanBeforeReturn);
  EXPECT_EQ(202, m_counts.fired);
  EXPECT_EQ(202, m_counts.disposed);
}

TEST_F(EventThreadTest, StopFiresPendingEventsOnceAndRefusesLaterOnes) {
  // The first event holds the queue until every other event is queued, then
  // asks its own thread to stop: the rest are pending at that moment.
  ASSERT_EQ(CM_OK, post([&] {
              m_opened.wait();
              m_thread->Stop();
            }));
  for (int i = 0; i < 50; ++i) ASSERT_EQ(CM_OK, post());
  m_gate.set_value();
  m_thread->Stop();
  m_thread->Stop();  // idempotent
  EXPECT_EQ(51, m_counts.fired);
  EXPECT_EQ(51, m_counts.disposed);

  // After Stop both hand-overs fail at once and dispose of the event unfired.
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED, post());
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED, send());
  EXPECT_EQ(51, m_counts.fired);
  EXPECT_EQ(53, m_counts.disposed);
  EXPECT_EQ(CM_ERROR_INVALID_ARG, m_queue->PostEvent(nullptr));
  EXPECT_EQ(CM_ERROR_INVALID_ARG, m_queue->SendEvent(nullptr));
}

TEST_F(EventThreadTest, StopFromAnotherThreadDrainsWhatWasAccepted) {
  std::shared_future<void> opened = m_opened;
  ASSERT_EQ(CM_OK, post([opened] { opened.wait(); }));
  std::thread stopper([this] { m_thread->Stop(); });
  // Keep posting until the stop is seen; every accepted event is pending.
  int accepted = 1;
  for (; post() == CM_OK; std::this_thread::yield()) ++accepted;
  m_gate.set_value();
  stopper.join();
  EXPECT_EQ(accepted, m_counts.fired);
  EXPECT_EQ(accepted + 1, m_counts.disposed);  // and the refused one
}

TEST_F(EventThreadTest, ThreadDestroyedInsideItsOwnEventFinishesTheQueue) {
  // The detached loop may still dispose of the events after the test has
  // returned, so each event shares ownership of what it touches.
  struct Shared {
    EventCounts counts;
    std::promise<void> lastRan;
  };
  auto shared = std::make_shared<Shared>();
  std::future<void> lastRan = shared->lastRan.get_future();
  std::shared_future<void> opened = m_opened;
  ASSERT_EQ(CM_OK, post(
                       [this, shared, opened] {
                         opened.wait();
                         m_thread.reset();
                       },
                       &shared->counts));
  ASSERT_EQ(CM_OK,
            post([shared] { shared->lastRan.set_value(); }, &shared->counts));
  m_gate.set_value();
  lastRan.wait();
  EXPECT_EQ(nullptr, m_thread);
  EXPECT_EQ(2, shared->counts.fired);
}

TEST(ThreadIdTest, ThreadIdsAreDistinctAndAPlainThreadHasNoQueue) {
  const unsigned long self = GetThreadSelfId();
  EXPECT_NE(0ul, self);
  EXPECT_EQ(self, GetThreadSelfId());
  std::unique_ptr<ACmThread> plain = CreateCmPlainThread("plain");
  std::unique_ptr<ACmThread> events = CreateCmEventThread();
  EXPECT_EQ(nullptr, plain->GetEventQueue());
  EXPECT_NE(self, plain->GetThreadId());
  EXPECT_NE(self, events->GetThreadId());
  EXPECT_NE(plain->GetThreadId(), events->GetThreadId());
}

}  // namespace
