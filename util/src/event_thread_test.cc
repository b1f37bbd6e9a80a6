#include <CmThread.h>
#include <KovaResult.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "util/testing/trace_capture.h"

namespace {

struct EventCounts {
  std::atomic<int> fired{0}, disposed{0};
};

// Runs a function when fired; counts firing and disposal.
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

// The counts come first: they outlive the thread, whose destructor still
// fires what is queued. m_gate holds an event until the test opens it.
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
  std::promise<void> m_gate;
  std::shared_future<void> m_opened = m_gate.get_future().share();
};

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

// A stop, from another thread while its own asks too, fires what was
// accepted once in order; later hand-overs fail and dispose of the event.
TEST_F(EventThreadTest, StopFiresPendingEventsInOrderOnceAndRefusesLaterOnes) {
  ASSERT_EQ(CM_OK, post([&] {
              m_opened.wait();
              m_thread->Stop();
            }));
  std::vector<int> order;  // written on the queue thread only
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(CM_OK, post([&order, i] { order.push_back(i); }));
  std::thread stopper([this] { m_thread->Stop(); });
  int accepted = 51;
  for (; post() == CM_OK; std::this_thread::yield()) ++accepted;
  m_gate.set_value();
  stopper.join();
  m_thread->Stop();  // idempotent
  ASSERT_EQ(50u, order.size());
  for (int i = 0; i < 50; ++i) EXPECT_EQ(i, order[i]);
  EXPECT_EQ(accepted, m_counts.fired);
  EXPECT_EQ(CM_ERROR_NOT_INITIALIZED, send());
  EXPECT_EQ(accepted, m_counts.fired);
  EXPECT_EQ(accepted + 2, m_counts.disposed);
  EXPECT_EQ(CM_ERROR_INVALID_ARG, m_queue->PostEvent(nullptr));
}

// The detached loop may dispose of the events after the test has returned,
// so each event shares ownership of what it touches.
TEST_F(EventThreadTest, ThreadDestroyedInsideItsOwnEventFinishesTheQueue) {
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
  EXPECT_EQ(2, counts->fired);
}

// A post wakes the loop after releasing the lock; by then the loop may have
// run the posted event, which destroys the thread object. The post must not
// touch what that destruction freed.
TEST(EventThreadRaceTest, PostRacingItsEventsDestructionOfTheThreadIsSafe) {
  auto counts = std::make_shared<EventCounts>();
  for (int round = 0; round < 200; ++round) {
    ACmThread* thread = CreateCmEventThread("race").release();
    ICmEventQueue* queue = thread->GetEventQueue();
    auto destroyed = std::make_shared<std::promise<void>>();
    std::future<void> destroyedFuture = destroyed->get_future();
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
  for (int i = 0; i < 10000 && counts->disposed.load() < 400; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(400, counts->fired.load());
}

}  // namespace
