#include <CmThread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <KovaResult.h>
#include "util/testing/trace_capture.h"

namespace {

// Counts how often the events sharing it were fired and disposed of.
struct EventCounts {
  std::atomic<int> fired{0}, disposed{0};
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

TEST_F(EventThreadTest, SendEventReturnsAfterTheEventRanThere) {
  // Several senders at once: each must see its own event done on return.
  std::vector<std::thread> senders;
  std::atomic<int> failures{0};
  for (int s = 0; s < 4; ++s) {
    senders.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        unsigned long ranOn = 0;  // written on the queue thread, read after
        const int rc = send([&ranOn] { ranOn = GetThreadSelfId(); });
        if (rc != CM_OK || ranOn != m_thread->GetThreadId()) ++failures;
      }
    });
  }
  for (std::thread& t : senders) t.join();
  EXPECT_EQ(0, failures);
  EXPECT_NE(GetThreadSelfId(), m_thread->GetThreadId());

  // A send from the queue thread itself runs inline instead of waiting.
  bool innerRan = false, innerRanBeforeReturn = false;
  ASSERT_EQ(CM_OK, send([&] {
              EXPECT_EQ(CM_OK, send([&innerRan] { innerRan = true; }));
              innerRanBeforeReturn = innerRan;
            }));
  EXPECT_TRUE(innerRanBeforeReturn);
  EXPECT_EQ(102, m_counts.fired);
  EXPECT_EQ(102, m_counts.disposed);
}

// Regression: an event that threw ended the process on the queue thread. It
// is now reported, disposed of and its sender released, and the queue goes
// on; a send from the queue thread itself is handled alike.
TEST_F(EventThreadTest, ThrowingEventIsReportedAndTheQueueGoesOn) {
  CmTraceCapture capture(0);
  EXPECT_EQ(CM_OK, post([] { throw std::runtime_error("posted boom"); }));
  EXPECT_EQ(CM_ERROR_FAILURE,
            send([] { throw std::runtime_error("sent boom"); }));
  int inner = CM_OK;
  EXPECT_EQ(CM_OK, send([&] { inner = send([] { throw 42; }); }));
  EXPECT_EQ(CM_ERROR_FAILURE, inner);
  EXPECT_EQ(4, m_counts.disposed);
  EXPECT_EQ(1u, capture.Count(0, "posted boom"));
  EXPECT_EQ(1u, capture.Count(0, "sent boom"));
  EXPECT_EQ(3u, capture.Lines().size());
}

TEST_F(EventThreadTest, StopFiresPendingEventsInOrderOnceAndRefusesLaterOnes) {
  // The first event holds the queue until every other event is queued, then
  // asks its own thread to stop: the rest are pending at that moment.
  ASSERT_EQ(CM_OK, post([&] {
              m_opened.wait();
              m_thread->Stop();
            }));
  std::vector<int> order;  // written on the queue thread only
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(CM_OK, post([&order, i] { order.push_back(i); }));
  m_gate.set_value();
  m_thread->Stop();
  m_thread->Stop();  // idempotent
  ASSERT_EQ(50u, order.size());
  for (int i = 0; i < 50; ++i) EXPECT_EQ(i, order[i]);
  EXPECT_EQ(51, m_counts.fired);

  // After Stop both hand-overs fail at once and dispose of the event unfired.
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED, post());
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED, send());
  EXPECT_EQ(51, m_counts.fired);
  EXPECT_EQ(53, m_counts.disposed);
  EXPECT_EQ(CM_ERROR_INVALID_ARG, m_queue->PostEvent(nullptr));
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
  auto counts = std::make_shared<EventCounts>();
  auto lastRan = std::make_shared<std::promise<void>>();
  std::future<void> lastRanFuture = lastRan->get_future();
  std::shared_future<void> opened = m_opened;
  ASSERT_EQ(CM_OK, post(
                       [this, counts, opened] {
                         opened.wait();
                         m_thread.reset();
                       },
                       counts.get()));
  ASSERT_EQ(CM_OK,
            post([counts, lastRan] { lastRan->set_value(); }, counts.get()));
  m_gate.set_value();
  lastRanFuture.wait();
  EXPECT_EQ(nullptr, m_thread);
  EXPECT_EQ(2, counts->fired);
}

// A post wakes the loop after releasing the lock; by then the loop, busy
// with an earlier event, may have run the posted one, which destroys the
// thread object. The post must not touch what that destruction freed.
TEST(EventThreadRaceTest, PostRacingItsEventsDestructionOfTheThreadIsSafe) {
  auto counts = std::make_shared<EventCounts>();
  for (int round = 0; round < 200; ++round) {
    ACmThread* thread = CreateCmEventThread("race").release();
    ICmEventQueue* queue = thread->GetEventQueue();
    auto destroyed = std::make_shared<std::promise<void>>();
    std::future<void> destroyedFuture = destroyed->get_future();
    // Busy for a moment, so that the next post may find the queue empty
    // and the loop awake.
    ASSERT_EQ(CM_OK, queue->PostEvent(new CountedEvent(counts.get(), [round] {
      for (volatile int i = 0; i < round * 20; ++i) {
      }
    })));
    ASSERT_EQ(CM_OK, queue->PostEvent(
                         new CountedEvent(counts.get(), [thread, destroyed] {
                           delete thread;
                           destroyed->set_value();
                         })));
    destroyedFuture.wait();
  }
  // Each detached loop may still be disposing of its last event.
  for (int i = 0; i < 10000 && counts->disposed.load() < 400; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(400, counts->fired.load());
}

}  // namespace
