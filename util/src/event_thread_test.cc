#include "CmThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "KovaResult.h"

namespace {

// Counts how often the events sharing it were fired and disposed of.
struct EventCounts {
  std::atomic<int> fired{0};
  std::atomic<int> disposed{0};
};

// Runs a function when fired and counts both steps.
class CountedEvent : public ICmEvent {
 public:
  CountedEvent(EventCounts* pCounts, std::function<void()> fn = nullptr)
      : m_pCounts(pCounts), m_fn(std::move(fn)) {}
  int OnEventFire() override {
    ++m_pCounts->fired;
    if (m_fn) m_fn();
    return CM_OK;
  }
  void OnDestorySelf() override {
    ++m_pCounts->disposed;
    delete this;
  }

 private:
  EventCounts* m_pCounts;
  std::function<void()> m_fn;
};

TEST(EventThreadTest, PostedEventsFireInOrderOnTheQueueThread) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("fifo");
  ASSERT_NE(nullptr, thread->GetEventQueue());
  EXPECT_NE(0ul, thread->GetThreadId());
  EXPECT_NE(GetThreadSelfId(), thread->GetThreadId());

  EventCounts counts;
  std::vector<int> order;  // written on the queue thread only
  std::vector<unsigned long> ids;
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(CM_OK, thread->GetEventQueue()->PostEvent(
                         new CountedEvent(&counts, [&order, &ids, i] {
                           order.push_back(i);
                           ids.push_back(GetThreadSelfId());
                         })));
  }
  thread->Stop();  // fires everything queued, then joins

  ASSERT_EQ(200u, order.size());
  for (int i = 0; i < 200; ++i) EXPECT_EQ(i, order[i]);
  for (unsigned long id : ids) EXPECT_EQ(thread->GetThreadId(), id);
  EXPECT_EQ(200, counts.fired);
  EXPECT_EQ(200, counts.disposed);
}

TEST(EventThreadTest, SendEventReturnsAfterTheEventRanThere) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("send");
  EventCounts counts;
  // Several senders at once: each must see its own event done on return.
  std::vector<std::thread> senders;
  std::atomic<int> failures{0};
  for (int s = 0; s < 4; ++s) {
    senders.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        bool ran = false;  // written on the queue thread, read here after
        unsigned long ranOn = 0;
        const int rc =
            thread->GetEventQueue()->SendEvent(new CountedEvent(&counts, [&] {
              for (int spin = 0; spin < 100; ++spin) std::this_thread::yield();
              ranOn = GetThreadSelfId();
              ran = true;
            }));
        if (rc != CM_OK || !ran || ranOn != thread->GetThreadId()) ++failures;
      }
    });
  }
  for (std::thread& t : senders) t.join();
  EXPECT_EQ(0, failures);
  EXPECT_EQ(200, counts.fired);
  EXPECT_EQ(200, counts.disposed);
}

TEST(EventThreadTest, SendEventOnTheQueueThreadRunsInline) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("inline");
  ICmEventQueue* queue = thread->GetEventQueue();
  EventCounts counts;
  bool innerRanBeforeReturn = false;
  int innerResult = -1;
  ASSERT_EQ(CM_OK, queue->SendEvent(new CountedEvent(&counts, [&] {
    bool innerRan = false;
    innerResult = queue->SendEvent(
        new CountedEvent(&counts, [&innerRan] { innerRan = true; }));
    innerRanBeforeReturn = innerRan;
  })));
  EXPECT_EQ(CM_OK, innerResult);
  EXPECT_TRUE(innerRanBeforeReturn);
  EXPECT_EQ(2, counts.fired);
  EXPECT_EQ(2, counts.disposed);
}

TEST(EventThreadTest, StopFiresPendingEventsOnceAndRefusesLaterOnes) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("stop");
  ICmEventQueue* queue = thread->GetEventQueue();
  EventCounts counts;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();

  // The first event holds the queue until every other event is queued, then
  // asks its own thread to stop: the rest are pending at that moment.
  ASSERT_EQ(CM_OK, queue->PostEvent(new CountedEvent(&counts, [&] {
    opened.wait();
    thread->Stop();
  })));
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(CM_OK, queue->PostEvent(new CountedEvent(&counts)));
  }
  gate.set_value();
  thread->Stop();
  thread->Stop();  // idempotent
  EXPECT_EQ(51, counts.fired);
  EXPECT_EQ(51, counts.disposed);

  // After Stop both hand-overs fail at once and dispose of the event unfired.
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED,
            queue->PostEvent(new CountedEvent(&counts)));
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED,
            queue->SendEvent(new CountedEvent(&counts)));
  EXPECT_EQ(51, counts.fired);
  EXPECT_EQ(53, counts.disposed);
  EXPECT_EQ(CM_ERROR_INVALID_ARG, queue->PostEvent(nullptr));
  EXPECT_EQ(CM_ERROR_INVALID_ARG, queue->SendEvent(nullptr));
}

TEST(EventThreadTest, StopFromAnotherThreadDrainsWhatWasAccepted) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("drain");
  ICmEventQueue* queue = thread->GetEventQueue();
  EventCounts counts;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  ASSERT_EQ(CM_OK, queue->PostEvent(
                       new CountedEvent(&counts, [opened] { opened.wait(); })));

  std::thread stopper([&thread] { thread->Stop(); });
  // Keep posting until the stop is seen; every accepted event is pending.
  int accepted = 1;
  int refused = 0;
  while (refused == 0) {
    if (queue->PostEvent(new CountedEvent(&counts)) == CM_OK) {
      ++accepted;
    } else {
      ++refused;
    }
    std::this_thread::yield();
  }
  gate.set_value();
  stopper.join();
  EXPECT_EQ(accepted, counts.fired);
  EXPECT_EQ(accepted + refused, counts.disposed);
}

TEST(EventThreadTest, ThreadDestroyedInsideItsOwnEventFinishesTheQueue) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("self");
  ICmEventQueue* queue = thread->GetEventQueue();
  // The detached loop may still dispose of the last event after the test has
  // returned, so what it touches outlives the test.
  static EventCounts counts;
  static std::promise<void> lastRan;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  ASSERT_EQ(CM_OK,
            queue->PostEvent(new CountedEvent(&counts, [&thread, opened] {
              opened.wait();
              thread.reset();
            })));
  ASSERT_EQ(CM_OK, queue->PostEvent(
                       new CountedEvent(&counts, [] { lastRan.set_value(); })));
  gate.set_value();
  lastRan.get_future().wait();
  EXPECT_EQ(nullptr, thread);
  EXPECT_EQ(2, counts.fired);
}

TEST(EventThreadTest, PlainThreadHasNoQueue) {
  std::unique_ptr<ACmThread> thread = CreateCmPlainThread("plain");
  EXPECT_EQ(nullptr, thread->GetEventQueue());
  EXPECT_NE(0ul, thread->GetThreadId());
  EXPECT_NE(GetThreadSelfId(), thread->GetThreadId());
  thread->Stop();
}

TEST(EventThreadTest, ThreadIdsAreDistinctAndStablePerThread) {
  const unsigned long self = GetThreadSelfId();
  EXPECT_NE(0ul, self);
  EXPECT_EQ(self, GetThreadSelfId());
  std::unique_ptr<ACmThread> a = CreateCmEventThread();
  std::unique_ptr<ACmThread> b = CreateCmEventThread();
  EXPECT_NE(a->GetThreadId(), b->GetThreadId());
}

}  // namespace
