// Object graphs written and read back by Persistable, by Boost.Serialization
// (binary archives, pointer tracking) and by cereal (binary archives, shared
// pointers), in the same run, to files in the same folder.
//
// The graph: N nodes, each an int, a double and three links: two children
// (a binary tree) and one shared link to a node picked at random, which
// makes the depth-first writers nest up to about N/2 records deep. All three
// run on a thread with a 512 MiB stack.
//
//   persist_bench [N...]     (default: 20000 200000)
//
// Prints the best of a few runs (thread CPU time, user and system) for each
// library and size, the ratios of
// Persistable's times to the peers' and each library's growth factor from
// the smallest to the largest N (10 would be linear for 20k -> 200k).
#include <pthread.h>
#include <time.h>

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/access.hpp>
#include <cereal/archives/binary.hpp>
#include <cereal/types/memory.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"

namespace {

// ---- the three node types -------------------------------------------------

class TNode : public Persistable {
 public:
  static const unsigned short TNode_id = 0x0401;
  unsigned short isA() const override { return TNode_id; }
  void saveContents(vostream& os) const override {
    os << value << weight << static_cast<char>((left ? 1 : 0) | (right ? 2 : 0) | (shared ? 4 : 0));
    if (left) os << left;
    if (right) os << right;
    if (shared) os << shared;
  }
  void restoreContents(vistream& is) override {
    char links = 0;
    is >> value >> weight >> links;
    if (links & 1) left = readLink(is);
    if (links & 2) right = readLink(is);
    if (links & 4) shared = readLink(is);
  }
  static Persistable* create() { return new TNode(); }

  int value = 0;
  double weight = 0;
  TNode* left = nullptr;
  TNode* right = nullptr;
  TNode* shared = nullptr;

 private:
  static TNode* readLink(vistream& is) {
    Persistable* p = nullptr;
    is >> p;
    return static_cast<TNode*>(p);
  }
};

struct BNode {
  int value = 0;
  double weight = 0;
  BNode* left = nullptr;
  BNode* right = nullptr;
  BNode* shared = nullptr;
  template <class Archive>
  void serialize(Archive& ar, const unsigned int) {
    ar & value & weight & left & right & shared;
  }
};

struct CNode {
  int value = 0;
  double weight = 0;
  std::shared_ptr<CNode> left, right, shared;
  template <class Archive>
  void serialize(Archive& ar) {
    ar(value, weight, left, right, shared);
  }
};

// ---- graphs -----------------------------------------------------------------

// Links of the graph by index: children 2i+1 and 2i+2, shared link random.
struct Shape {
  std::vector<int> shared;
  explicit Shape(int n) : shared(n) {
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i) shared[i] = static_cast<int>(rng() % static_cast<unsigned>(n));
  }
  int size() const { return static_cast<int>(shared.size()); }
};

template <typename Node, typename Make, typename Link>
std::vector<Node> buildNodes(const Shape& s, Make make, Link link) {
  std::vector<Node> nodes;
  nodes.reserve(s.size());
  for (int i = 0; i < s.size(); ++i) nodes.push_back(make(i));
  for (int i = 0; i < s.size(); ++i) {
    const int l = 2 * i + 1, r = 2 * i + 2;
    link(nodes[i], l < s.size() ? nodes[l] : Node(), r < s.size() ? nodes[r] : Node(), nodes[s.shared[i]]);
  }
  return nodes;
}

// Visits every node reachable from root once (iteratively: graphs are deep).
template <typename Ptr, typename Links>
std::vector<Ptr> reachable(Ptr root, Links links) {
  std::vector<Ptr> out, stack{root};
  std::unordered_set<const void*> seen;
  while (!stack.empty()) {
    Ptr p = stack.back();
    stack.pop_back();
    if (!p || !seen.insert(&*p).second) continue;
    out.push_back(p);
    for (Ptr q : links(p)) stack.push_back(q);
  }
  return out;
}

// ---- timing -------------------------------------------------------------------

// CPU time of the calling thread (user and system): the machines this runs
// on are shared, and wall-clock time would count other processes' turns.
double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double seconds(const std::function<void()>& f) {
  const double start = threadSeconds();
  f();
  return threadSeconds() - start;
}

struct Times {
  double write = 1e30, read = 1e30;
  long bytes = 0;
  int nodesBack = 0;
};

std::string benchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tobrel-persist-bench-" + name;
}

long fileSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return static_cast<long>(f.tellg());
}

Times runPersistable(const Shape& s, int reps) {
  Times t;
  std::vector<TNode*> nodes = buildNodes<TNode*>(
      s, [](int i) { auto* n = new TNode(); n->value = i; n->weight = i * 0.5; return n; },
      [](TNode* n, TNode* l, TNode* r, TNode* sh) { n->left = l; n->right = r; n->shared = sh; });
  const std::string path = benchFile("tobrel.bin");
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      Persistable::readyToSerialize();
      fvostream os(path.c_str());
      os << nodes[0];
      os.close();
    }));
    TNode* back = nullptr;
    t.read = std::min(t.read, seconds([&] {
      Persistable::readyToSerialize();
      fvistream is(path.c_str());
      Persistable* p = nullptr;
      is >> p;
      back = static_cast<TNode*>(p);
    }));
    std::vector<TNode*> all = reachable(back, [](TNode* n) { return std::vector<TNode*>{n->left, n->right, n->shared}; });
    t.nodesBack = static_cast<int>(all.size());
    for (TNode* n : all) delete n;
  }
  Persistable::readyToSerialize();
  t.bytes = fileSize(path);
  for (TNode* n : nodes) delete n;
  std::remove(path.c_str());
  return t;
}

Times runBoost(const Shape& s, int reps) {
  Times t;
  std::vector<BNode*> nodes = buildNodes<BNode*>(
      s, [](int i) { auto* n = new BNode(); n->value = i; n->weight = i * 0.5; return n; },
      [](BNode* n, BNode* l, BNode* r, BNode* sh) { n->left = l; n->right = r; n->shared = sh; });
  const std::string path = benchFile("boost.bin");
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      std::ofstream out(path, std::ios::binary);
      boost::archive::binary_oarchive ar(out);
      const BNode* root = nodes[0];
      ar << root;
    }));
    BNode* back = nullptr;
    t.read = std::min(t.read, seconds([&] {
      std::ifstream in(path, std::ios::binary);
      boost::archive::binary_iarchive ar(in);
      ar >> back;
    }));
    std::vector<BNode*> all = reachable(back, [](BNode* n) { return std::vector<BNode*>{n->left, n->right, n->shared}; });
    t.nodesBack = static_cast<int>(all.size());
    for (BNode* n : all) delete n;
  }
  t.bytes = fileSize(path);
  for (BNode* n : nodes) delete n;
  std::remove(path.c_str());
  return t;
}

Times runCereal(const Shape& s, int reps) {
  typedef std::shared_ptr<CNode> Ptr;
  Times t;
  std::vector<Ptr> nodes = buildNodes<Ptr>(
      s, [](int i) { auto n = std::make_shared<CNode>(); n->value = i; n->weight = i * 0.5; return n; },
      [](const Ptr& n, const Ptr& l, const Ptr& r, const Ptr& sh) { n->left = l; n->right = r; n->shared = sh; });
  const std::string path = benchFile("cereal.bin");
  auto unlink = [](const std::vector<Ptr>& all) {  // break the cycles
    for (const Ptr& n : all) n->left = n->right = n->shared = nullptr;
  };
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      std::ofstream out(path, std::ios::binary);
      cereal::BinaryOutputArchive ar(out);
      ar(nodes[0]);
    }));
    Ptr back;
    t.read = std::min(t.read, seconds([&] {
      std::ifstream in(path, std::ios::binary);
      cereal::BinaryInputArchive ar(in);
      ar(back);
    }));
    std::vector<Ptr> all = reachable(back, [](const Ptr& n) { return std::vector<Ptr>{n->left, n->right, n->shared}; });
    t.nodesBack = static_cast<int>(all.size());
    unlink(all);
  }
  t.bytes = fileSize(path);
  unlink(nodes);
  std::remove(path.c_str());
  return t;
}

struct Row {
  int n;
  Times tobrel, boost, cereal;
};

void runAll(const std::vector<int>& sizes) {
  ClassFactory::getInstance()->add(TNode::TNode_id, &TNode::create);
  std::vector<Row> rows;
  for (int n : sizes) {
    const Shape shape(n);
    const int reps = n <= 50000 ? 5 : 3;
    Row row{n, runPersistable(shape, reps), runBoost(shape, reps), runCereal(shape, reps)};
    rows.push_back(row);
    std::printf("N=%d\n", n);
    const struct { const char* name; const Times& t; } libs[] = {
        {"Persistable", row.tobrel}, {"Boost", row.boost}, {"cereal", row.cereal}};
    for (const auto& lib : libs) {
      std::printf("  %-12s write %8.2f ms  read %8.2f ms  file %9ld bytes  nodes back %d\n", lib.name,
                  lib.t.write * 1e3, lib.t.read * 1e3, lib.t.bytes, lib.t.nodesBack);
    }
    std::printf("  Persistable/cereal  write %.2f  read %.2f\n", row.tobrel.write / row.cereal.write,
                row.tobrel.read / row.cereal.read);
    std::printf("  Persistable/Boost   write %.2f  read %.2f\n", row.tobrel.write / row.boost.write,
                row.tobrel.read / row.boost.read);
  }
  if (rows.size() >= 2) {
    const Row& a = rows.front();
    const Row& b = rows.back();
    std::printf("growth N=%d -> N=%d (linear: %.1f)\n", a.n, b.n, static_cast<double>(b.n) / a.n);
    std::printf("  Persistable write %.1f  read %.1f\n", b.tobrel.write / a.tobrel.write, b.tobrel.read / a.tobrel.read);
    std::printf("  Boost       write %.1f  read %.1f\n", b.boost.write / a.boost.write, b.boost.read / a.boost.read);
    std::printf("  cereal      write %.1f  read %.1f\n", b.cereal.write / a.cereal.write, b.cereal.read / a.cereal.read);
  }
}

void* threadBody(void* arg) {
  runAll(*static_cast<std::vector<int>*>(arg));
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {20000, 200000};
  // The writers and readers recurse once per nested record: give them room.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::size_t(512) << 20);
  pthread_t thread;
  if (pthread_create(&thread, &attr, threadBody, &sizes) != 0) {
    std::fprintf(stderr, "cannot start the benchmark thread\n");
    return 1;
  }
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return 0;
}
