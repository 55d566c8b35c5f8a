#include "TobrelTools/persist/InstanceManager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "TobrelTools/persist/AllocFactory.h"
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/Persistable.h"

namespace {

// A holder of ints that counts what it makes and deletes.
class CountingManager : public InstanceManager {
 public:
  int made = 0;
  int deleted = 0;

 protected:
  void* newValue() override {
    ++made;
    return new int(made);
  }
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

TEST(InstanceManagerTest, OtherThreadsStartWithoutValue) {
  CountingManager m;
  void* mine = m.addValue();
  void* seen = mine;
  std::thread t([&] {
    seen = m.currentValue();
    m.addValue();
    m.freeValue();
  });
  t.join();
  EXPECT_EQ(seen, nullptr);
  EXPECT_EQ(m.currentValue(), mine);
  m.freeValue();
  EXPECT_EQ(m.made, 2);
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

TEST(HolderTest, AllocManagerGivesEachThreadItsOwnFactory) {
  AllocManager m;
  AllocFactory* here = m.get();
  EXPECT_EQ(m.get(), here);
  AllocFactory* there = nullptr;
  std::thread t([&] {
    there = m.get();
    m.freeValue();
  });
  t.join();
  EXPECT_NE(there, here);
  m.freeValue();
}

TEST(AllocFactoryTest, OneInstanceForTheWholeProcess) {
  AllocFactory* here = AllocFactory::getInstance();
  AllocFactory* there = nullptr;
  std::thread t([&] { there = AllocFactory::getInstance(); });
  t.join();
  EXPECT_EQ(here, there);
}

TEST(AllocFactoryTest, BlocksAreUsableAndSizesAreChecked) {
  AllocFactory* f = AllocFactory::getInstance();
  char* block = static_cast<char*>(f->instance(64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) block[i] = static_cast<char>(i);
  EXPECT_EQ(block[63], 63);
  f->erase(block);

  void* empty1 = f->instance(0);
  void* empty2 = f->instance(0);
  ASSERT_NE(empty1, nullptr);
  EXPECT_NE(empty1, empty2);
  f->erase(empty1);
  f->erase(empty2);

  EXPECT_EQ(f->instance(-1), nullptr);
  EXPECT_EQ(f->instance(-2147483647 - 1), nullptr);
  f->erase(nullptr);
}

}  // namespace

namespace {

class RetiringCounter : public InstanceManager {
 public:
  ~RetiringCounter() override { retire(); }
  int deleted = 0;

 protected:
  void* newValue() override { return new int(0); }
  void deleteValue(void* value) override {
    ++deleted;
    delete static_cast<int*>(value);
  }
};

TEST(InstanceManagerTest, EndingThreadReleasesItsValues) {
  RetiringCounter m;
  std::thread t([&] { m.addValue(); });
  t.join();
  EXPECT_EQ(m.deleted, 1);

  std::thread u([&] {
    m.addValue();
    m.freeValue();  // already released: nothing left for the thread's end
  });
  u.join();
  EXPECT_EQ(m.deleted, 2);

  m.addValue();  // the building thread keeps its value
  EXPECT_EQ(m.deleted, 2);
  m.freeValue();
}

TEST(InstanceManagerTest, ThreadEndingAfterItsHolderLeavesItAlone) {
  std::mutex step;
  std::condition_variable cv;
  bool stored = false, holderGone = false;
  int* value = nullptr;
  auto* m = new RetiringCounter();
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
