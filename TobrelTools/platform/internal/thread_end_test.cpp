#include "TobrelTools/platform/internal/thread_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/thread_util.h"

namespace {

using tobrel::ThreadEndSlot;
using tobrel::test::runOnThread;

// What the cleanups saw; one test at a time uses it.
std::mutex seenLock;
std::vector<int> seen;

void record(void* value) {
  std::lock_guard<std::mutex> guard(seenLock);
  seen.push_back(*static_cast<int*>(value));
  delete static_cast<int*>(value);
}

std::vector<int> takeSeen() {
  std::lock_guard<std::mutex> guard(seenLock);
  std::vector<int> out;
  out.swap(seen);
  return out;
}

TEST(ThreadEndSlotTest, EachThreadsLastValueIsCleanedUpAtItsEnd) {
  ThreadEndSlot slot(record);
  ASSERT_TRUE(slot.valid());
  ASSERT_TRUE(slot.set(new int(100)));  // this thread's value: not touched by the others
  // A thrown and caught exception first: on Windows that is what once made
  // the end of CreateThread threads hang with thread_local destructors.
  try {
    throw std::runtime_error("before the threads");
  } catch (const std::exception&) {
  }
  for (int i = 1; i <= 3; ++i) {
    bool sawNullFirst = false;
    ASSERT_TRUE(runOnThread(256 * 1024, [&] {
      sawNullFirst = slot.get() == nullptr;
      int* value = new int(i);
      slot.set(value);
      EXPECT_EQ(slot.get(), value);
    }));
    EXPECT_TRUE(sawNullFirst);
    EXPECT_EQ(takeSeen(), std::vector<int>{i});
  }
  EXPECT_EQ(*static_cast<int*>(slot.get()), 100);
  record(slot.get());
  slot.set(nullptr);
  takeSeen();
}

TEST(ThreadEndSlotTest, NullValueMeansNothingToCleanUp) {
  ThreadEndSlot slot(record);
  int* dropped = new int(7);
  ASSERT_TRUE(runOnThread(256 * 1024, [&] {
    slot.set(dropped);
    slot.set(nullptr);
  }));
  EXPECT_TRUE(takeSeen().empty());
  delete dropped;
}

TEST(ThreadEndSlotTest, CleanupsOfManyThreadsAtOnceAreAllRun) {
  ThreadEndSlot slot(record);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&slot, i] { slot.set(new int(i)); });
  for (std::thread& t : threads) t.join();
  std::vector<int> got = takeSeen();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(ThreadEndSlotTest, GivenBackSlotRunsNoCleanupForThreadsStillRunning) {
  auto slot = std::make_unique<ThreadEndSlot>(record);
  std::promise<void> stored, released;
  std::future<void> releasedFuture = released.get_future();
  int* value = new int(9);
  std::thread t([&] {
    slot->set(value);
    stored.set_value();
    releasedFuture.wait();
  });
  stored.get_future().wait();
  slot.reset();
  released.set_value();
  t.join();
  EXPECT_TRUE(takeSeen().empty());
  delete value;
}

}  // namespace
