// The registry elements in memory: ownership, copies and data.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/reg.h"

namespace {

// An element that records the order in which its key disposed of it.
class Tracked : public regelm {
 public:
  Tracked(std::vector<int>* log, int id) : log_(log), id_(id) {}
  void deleteMe() override {
    log_->push_back(id_);
    delete this;
  }
  regelm* spawn() override { return new Tracked(log_, id_ + 100); }

 private:
  std::vector<int>* log_;
  int id_;
};

regval_t* value(const char* name, const std::string& bytes, unsigned long type) {
  regval_t* v = new regval_t;
  v->setName(name);
  v->setData(bytes.data(), static_cast<int>(bytes.size()), type);
  return v;
}

regkey_t* key(const char* name, const char* cls = "") {
  regkey_t* k = new regkey_t;
  k->setName(name);
  k->setClass(cls);
  return k;
}

// "name type size bytes", with "null" for bytes when there is no block.
std::string state(const regval_t& v) {
  return std::string(v.getName().c_str()) + " " + std::to_string(v.getType()) + " " +
         std::to_string(v.getDataSize()) + " " +
         (v.getData() ? std::string(static_cast<const char*>(v.getData()), v.getDataSize()) : "null");
}

TEST(RegElm, BareElementDoesNothing) {
  regelm bare;
  const regelm& constBare = bare;
  bare.getName() = "scribbled";
  EXPECT_TRUE(bare.getName().empty());  // a fresh empty name on every call
  EXPECT_TRUE(constBare.getName().empty());
  EXPECT_EQ(bare.spawn(), nullptr);
  EXPECT_TRUE(bare.toString().empty());
  CRegistry none(nullptr, nullptr);
  bare.restore(none);
  bare.remove(none);
  bare.deleteMe();  // must not destroy a stack object
  EXPECT_EQ(bare.isA(), 0xF036);
}

TEST(RegVal, SetDataClearAndTheirEdgeCases) {
  regval_t v;
  v.setData(std::tstring("abc"), REG_SZ);  // text carries its NUL
  EXPECT_EQ(state(v), std::string(" 1 4 abc\0", 9));
  v.setData(std::tstring(""), REG_EXPAND_SZ);  // no data, type kept
  EXPECT_EQ(state(v), " 1 0 null");

  const unsigned char bytes[] = {'x', 'y', 'z'};
  v.setData(bytes, 3, REG_BINARY);
  EXPECT_NE(v.getData(), static_cast<const void*>(bytes));  // a private copy
  EXPECT_EQ(state(v), " 3 3 xyz");
  v.setData(v.getData(), 2, REG_BINARY);  // its own data handed back in
  EXPECT_EQ(state(v), " 3 2 xy");
  v.setData(nullptr, 5, REG_DWORD);
  EXPECT_EQ(state(v), " 3 0 null");
  v.setData(bytes, 0, REG_NONE);  // an empty block, not null
  EXPECT_NE(v.getData(), nullptr);
  EXPECT_EQ(state(v), " 0 0 ");

  v.setData(bytes, 1, REG_BINARY);
  try {
    v.setData(bytes, -1, REG_DWORD);
    FAIL() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "regval_t::setData: negative size -1");
    delete e;
  }
  EXPECT_EQ(v.getData(), nullptr);
  EXPECT_EQ(v.getDataSize(), 0);

  std::unique_ptr<regval_t> named(value("n", "xyz", REG_SZ));
  named->clear();
  EXPECT_EQ(state(*named), " 0 0 null");
}

TEST(RegVal, CopiesOwnTheirData) {
  std::unique_ptr<regval_t> source(value("v", "12345678", REG_QWORD));
  regval_t copy(*source);
  EXPECT_EQ(state(copy), "v 11 8 12345678");
  EXPECT_NE(copy.getData(), source->getData());
  std::unique_ptr<regelm> spawned(source->spawn());
  ASSERT_NE(dynamic_cast<regval_t*>(spawned.get()), nullptr);
  EXPECT_EQ(state(dynamic_cast<regval_t&>(*spawned)), "v 11 8 12345678");

  regval_t empty;
  empty.setName("e");
  empty.setType(REG_DWORD);
  *source = empty;  // a value without data leaves none behind
  EXPECT_EQ(state(*source), "e 4 0 null");
  regval_t& alias = copy;
  copy = alias;
  EXPECT_EQ(state(copy), "v 11 8 12345678");
}

TEST(RegKey, CopiesTakeNoChildren) {
  regkey_t source;
  source.setName("parent");
  source.setClass("cls");
  source.setLastWriteTime(filetime{7, 9});
  source.addElements(key("child"));
  source.addElements(value("v", "x", REG_SZ));

  regkey_t copied(source), assigned, copiedIn;
  assigned.addElements(value("old", "o", REG_SZ));
  assigned = source;
  copiedIn.copyIn(source);
  std::unique_ptr<regelm> spawned(source.spawn());
  regkey_t* spawnedKey = dynamic_cast<regkey_t*>(spawned.get());
  ASSERT_NE(spawnedKey, nullptr);
  for (regkey_t* k : {&copied, &assigned, &copiedIn, spawnedKey}) {
    EXPECT_EQ(k->getName(), "parent");
    EXPECT_EQ(k->getClass(), "cls");
    EXPECT_TRUE(k->getLastWriteTime() == (filetime{7, 9}));
    EXPECT_TRUE(k->getElements().empty());
  }
  EXPECT_EQ(source.getElements().size(), 2u);
}

TEST(RegKey, SetElementsCopiesOneLevel) {
  std::vector<int> log;
  regkey_t source;
  regkey_t* child = key("child", "c");
  child->addElements(value("inner", "i", REG_SZ));
  source.addElements(child);
  source.addElements(value("v", "4321", REG_DWORD));
  regelm bare;  // a bare element spawns nothing and is left out
  source.getElements().push_back(&bare);
  source.addElements(new Tracked(&log, 1));

  regkey_t target;
  target.addElements(new Tracked(&log, 2));
  target.setElements(source.getElements());
  EXPECT_EQ(log, std::vector<int>{2});  // the old list went first
  ASSERT_EQ(target.getElements().size(), 3u);
  regkey_t* keyCopy = dynamic_cast<regkey_t*>(target.getElements()[0]);
  ASSERT_NE(keyCopy, nullptr);
  EXPECT_NE(keyCopy, child);
  EXPECT_EQ(keyCopy->getClass(), "c");
  EXPECT_TRUE(keyCopy->getElements().empty());
  EXPECT_EQ(state(dynamic_cast<regval_t&>(*target.getElements()[1])), "v 4 4 4321");
  EXPECT_EQ(source.getElements().size(), 4u);  // the caller keeps its own
  EXPECT_EQ(child->getElements().size(), 1u);

  target.setElements(target.getElements());  // a copy of its own list
  EXPECT_EQ(target.getElements().size(), 3u);

  source.getElements().erase(source.getElements().begin() + 2);  // the bare one is ours
  log.clear();
  source.clearElements();
  EXPECT_EQ(log, std::vector<int>{1});
}

TEST(RegKey, ClearingDisposesOfEachChildInOrder) {
  std::vector<int> log;
  {
    regkey_t k;
    for (int i = 0; i < 3; ++i) k.addElements(new Tracked(&log, i));
    k.clearElements();
    EXPECT_EQ(log, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(k.getElements().capacity(), 0u);

    k.setName("n");
    k.setClass("c");
    k.setLastWriteTime(filetime{1, 2});
    k.addElements(new Tracked(&log, 3));
    k.clear();
    EXPECT_TRUE(k.getName().empty());
    EXPECT_TRUE(k.getClass().empty());
    EXPECT_TRUE(k.getLastWriteTime() == (filetime{0, 0}));
    EXPECT_EQ(log.back(), 3);
    k.addElements(new Tracked(&log, 4));
  }
  EXPECT_EQ(log.back(), 4);  // the destructor too

  // A child taken out of the list belongs to the caller.
  regkey_t k;
  k.addElements(new Tracked(&log, 6));
  regelm* taken = k.getElements().back();
  k.getElements().pop_back();
  k.clear();
  EXPECT_EQ(log.back(), 4);
  taken->deleteMe();
  EXPECT_EQ(log.back(), 6);
}

}  // namespace
