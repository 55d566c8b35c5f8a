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

// Ids at the edges of the id space and of the index's pages, some in one
// page and some apart: each is found with its own creator after add, after
// setAssociators (whose table may name an id twice: the first entry counts,
// as a scan of the table would find it) and after copying or assigning the
// whole table; ids next to them, and ids of a table replaced, are not found.
class FactoryProbe : public ClassFactory {
 public:
  using ClassFactory::find;
};

template <unsigned short Id>
Persistable* makeWithId() {
  class Made : public Persistable {
   public:
    unsigned short isA() const override { return Id; }
  };
  return new Made();
}

unsigned short madeId(ClassFactory& f, unsigned short id) {
  std::unique_ptr<Persistable> p(f.create(id));
  return p ? p->isA() : 0xDEAD;
}

TEST(ClassFactoryTest, EveryRegisteredIdIsFoundAndNoOther) {
  const IdAndCreator entries[] = {{0x0000, &makeWithId<0x0000>}, {0x00FF, &makeWithId<0x00FF>},
                                  {0x0100, &makeWithId<0x0100>}, {0x8001, &makeWithId<0x8001>},
                                  {0x80FF, &makeWithId<0x80FF>}, {0xFFFF, &makeWithId<0xFFFF>}};
  const unsigned short absent[] = {0x0001, 0x00FE, 0x0101, 0x01FF, 0x8000, 0x8002, 0xFF00, 0xFFFE};

  FactoryProbe added;
  for (const IdAndCreator& e : entries) added.add(e.id(), e.creator());
  ClassFactory::Associators twice(std::begin(entries), std::end(entries));
  twice.insert(twice.begin() + 2, IdAndCreator(0xFFFF, &makeNothing));  // before the real 0xFFFF
  FactoryProbe given;
  given.add(0x0101, &makeOther);  // dropped with the old table
  given.setAssociators(twice);
  ClassFactory copied(given), assigned;
  assigned.add(0x0001, &makeOther);
  assigned = given;

  for (const IdAndCreator& e : entries) {
    EXPECT_EQ(madeId(added, e.id()), e.id());
    EXPECT_EQ(added.find(e.id())->id(), e.id());
    EXPECT_EQ(madeId(copied, e.id()), e.id() == 0xFFFF ? 0xDEAD : e.id());
    EXPECT_EQ(madeId(assigned, e.id()), e.id() == 0xFFFF ? 0xDEAD : e.id());
  }
  EXPECT_EQ(given.find(0xFFFF) - given.getAssociators().begin(), 2);
  for (unsigned short id : absent) {
    EXPECT_EQ(added.create(id), nullptr) << id;
    EXPECT_EQ(copied.create(id), nullptr) << id;
    EXPECT_EQ(assigned.create(id), nullptr) << id;
    EXPECT_TRUE(added.find(id) == added.getAssociators().end()) << id;
  }
  given.setAssociators(ClassFactory::Associators());
  EXPECT_EQ(given.create(0x0000), nullptr);
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
