#include "TobrelTools/persist/InstanceManager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/Persistable.h"

namespace {

// A holder of ints that counts what it deletes and releases the values of
// threads still running when it goes.
class CountingManager : public InstanceManager {
 public:
  ~CountingManager() override { retire(); }
  int deleted = 0;

 protected:
  void* newValue() override { return new int(0); }
  void deleteValue(void* value) override {
    ++deleted;
    delete static_cast<int*>(value);
  }
};

TEST(InstanceManagerTest, ValueLifecycleOnOneThread) {
  CountingManager m;
  EXPECT_EQ(m.currentValue(), nullptr);
  m.freeValue();  // nothing stored: nothing to delete
  EXPECT_EQ(m.deleted, 0);

  void* first = m.addValue();
  EXPECT_EQ(m.currentValue(), first);
  m.freeValue();
  EXPECT_EQ(m.deleted, 1);
  EXPECT_EQ(m.currentValue(), nullptr);

  void* second = m.addValue();
  void* third = m.addValue();  // replaces without deleting
  EXPECT_EQ(m.currentValue(), third);
  EXPECT_EQ(m.deleted, 1);
  delete static_cast<int*>(second);
  m.freeValue();
  EXPECT_EQ(m.deleted, 2);
}

TEST(HolderTest, DestroyInstanceGivesAFreshCheckerOnThisThreadOnly) {
  Persistable a, b;
  Persistable::readyToSerialize();
  DupChecker::getInstance()->add(&a);
  unsigned int otherEntries = 0;
  std::thread t([&] {
    DupChecker::destroyInstance();  // never used here: nothing happens
    DupChecker::getInstance()->add(&a);
    DupChecker::getInstance()->add(&b);
    otherEntries = DupChecker::getInstance()->entries();
    DupChecker::destroyInstance();
  });
  t.join();
  EXPECT_EQ(otherEntries, 2u);
  EXPECT_EQ(DupChecker::getInstance()->entries(), 1u);

  DupChecker::destroyInstance();
  DupChecker* fresh = DupChecker::getInstance();
  EXPECT_EQ(fresh->entries(), 0u);
  EXPECT_EQ(fresh->add(&a), -1);
  Persistable::clearInstance();
  EXPECT_EQ(DupChecker::getInstance()->entries(), 0u);
}

}  // namespace

namespace {

// Another thread starts without a value, and its value is released when it
// ends, unless it freed it itself; the holder's thread keeps its own.
TEST(InstanceManagerTest, EachThreadsValueIsItsOwnAndEndsWithIt) {
  CountingManager m;
  void* mine = m.addValue();
  void* seen = mine;
  std::thread t([&] {
    seen = m.currentValue();
    m.addValue();
  });
  t.join();
  EXPECT_EQ(seen, nullptr);
  EXPECT_EQ(m.deleted, 1);
  EXPECT_EQ(m.currentValue(), mine);

  std::thread u([&] {
    m.addValue();
    m.freeValue();  // already released: nothing left for the thread's end
  });
  u.join();
  EXPECT_EQ(m.deleted, 2);
  m.freeValue();
}

TEST(InstanceManagerTest, ThreadEndingAfterItsHolderLeavesItAlone) {
  std::mutex step;
  std::condition_variable cv;
  bool stored = false, holderGone = false;
  int* value = nullptr;
  auto* m = new CountingManager();
  std::thread t([&] {
    value = static_cast<int*>(m->addValue());
    std::unique_lock<std::mutex> lock(step);
    stored = true;
    cv.notify_all();
    cv.wait(lock, [&] { return holderGone; });
  });
  {
    std::unique_lock<std::mutex> lock(step);
    cv.wait(lock, [&] { return stored; });
    delete m;
    holderGone = true;
    cv.notify_all();
  }
  t.join();
  delete value;  // the value was the thread's, never the holder's
}

}  // namespace
