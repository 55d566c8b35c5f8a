#include "TobrelTools/persist/ClassFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "TobrelTools/persist/Persistable.h"

namespace {

class Other : public Persistable {
 public:
  unsigned short isA() const override { return 0x0301; }
};
Persistable* makeOther() { return new Other(); }
Persistable* makeNothing() { return nullptr; }

TEST(ClassFactoryTest, LoadingThreadStartsWithTheLibraryClassesFirst) {
  const ClassFactory::Associators& table = ClassFactory::getInstance()->getAssociators();
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table[0].id(), 0x8001);
  EXPECT_EQ(table[0].creator(), &Persistable_create);

  std::unique_ptr<Persistable> p(ClassFactory::getInstance()->create(0x8001));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->isA(), 0x8001);
  EXPECT_EQ(Persistable::getClassId(), 0x8001);
}

TEST(ClassFactoryTest, FirstRegistrationWins) {
  ClassFactory f;
  f.add(0x0301, &makeOther);
  f.add(0x0301, &makeNothing);
  f.add(0x0302, &makeNothing);
  ASSERT_EQ(f.getAssociators().size(), 2u);
  std::unique_ptr<Persistable> made(f.create(0x0301));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->isA(), 0x0301);
  EXPECT_EQ(f.create(0x0302), nullptr);  // the creator's null passes through
  EXPECT_EQ(f.create(0x0303), nullptr);  // never registered

  // The loading thread's own registration of 0x8001 cannot be replaced.
  ClassFactory::getInstance()->add(0x8001, &makeOther);
  std::unique_ptr<Persistable> plain(ClassFactory::getInstance()->create(0x8001));
  EXPECT_EQ(plain->isA(), 0x8001);
}

TEST(ClassFactoryTest, TablesKeepRegistrationOrderAndCopyWhole) {
  ClassFactory f;
  f.add(0x0303, &makeOther);
  f.add(0x0301, &makeOther);
  ClassFactory g;
  g.add(0x0999, &makeOther);
  g = f;
  ASSERT_EQ(g.getAssociators().size(), 2u);
  EXPECT_EQ(g.getAssociators()[0].id(), 0x0303);
  EXPECT_EQ(g.getAssociators()[1].id(), 0x0301);
  EXPECT_EQ(g.create(0x0999), nullptr);

  g.setAssociators(ClassFactory::Associators());
  EXPECT_TRUE(g.getAssociators().empty());
  EXPECT_EQ(g.create(0x0303), nullptr);
}

TEST(ClassFactoryTest, NewThreadIsEmptyUntilGivenTheTable) {
  const ClassFactory::Associators table = ClassFactory::getInstance()->getAssociators();
  bool emptyAtFirst = false;
  bool createdAfterCopy = false;
  std::thread t([&] {
    ClassFactory* mine = ClassFactory::getInstance();
    emptyAtFirst = mine->getAssociators().empty() && mine->create(0x8001) == nullptr;
    mine->setAssociators(table);
    std::unique_ptr<Persistable> p(mine->create(0x8001));
    createdAfterCopy = p != nullptr && p->isA() == 0x8001;
    mine->add(0x0301, &makeOther);  // stays on this thread
  });
  t.join();
  EXPECT_TRUE(emptyAtFirst);
  EXPECT_TRUE(createdAfterCopy);
  EXPECT_EQ(ClassFactory::getInstance()->create(0x0301), nullptr);
}

TEST(IdAndCreatorTest, EntriesCompareByIdOnly) {
  IdAndCreator none;
  EXPECT_EQ(none.id(), 0);
  EXPECT_EQ(none.creator(), nullptr);

  IdAndCreator a(7, &makeOther), b(7, &makeNothing), c(8, &makeOther);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
  EXPECT_TRUE(a == static_cast<unsigned short>(7));

  b.id(8);
  b.creator(&makeOther);
  EXPECT_TRUE(b == c);
  EXPECT_EQ(b.creator(), &makeOther);
  // It is the standard pair underneath.
  const IdAndCreator::pair_type& pair = c;
  EXPECT_EQ(pair.first, 8);
  EXPECT_EQ(pair.second, &makeOther);
}

}  // namespace
