#include "TobrelTools/persist/AllocFactory.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

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
