// Object graphs written and read back by Persistable, by Boost.Serialization
// (binary archives, pointer tracking) and by cereal (binary archives, shared
// pointers), in the same run, to files in the same folder. Two workloads:
//
// client  (the default) what applications save: N nodes of a client class,
//         each an int id, a double, a 20-character name (a tstring member
//         written as an object record of its own, so every node brings a
//         second record) and three links, each a "present" flag and, when
//         set, the pointer: left = 2i+1, right = 2i+2 (null past the end),
//         buddy = (i*7919 + 13) mod N. A root object of another class writes
//         the node count and then every node pointer in order. Every id,
//         name and link read back is checked.
// plain   N nodes of an int, a double and three links (two children of a
//         binary tree and one to a node picked at random), written from
//         node 0; the nodes reached back are counted.
//
// Following the links depth first makes the recursion tens of thousands of
// levels deep: everything runs on a thread with a 512 MiB stack.
//
//   persist_bench [client|plain|all] [--alone] [N...]
//                                   (default: client 20000 200000)
//
// --alone runs Persistable only (for a profiler), without the peers.
//
// Prints the best of a few runs (thread CPU time, user and system) for each
// library and size, the ratios of Persistable's times to the peers' and each
// library's growth factor from the smallest to the largest N (10 would be
// linear for 20k -> 200k).
#include <pthread.h>
#include <time.h>

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/access.hpp>
#include <cereal/archives/binary.hpp>
#include <cereal/types/memory.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

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
#include "TobrelTools/string/tstring.h"

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

// ---- the client workload ----------------------------------------------------

// Links of node i in a graph of n nodes; -1 for none.
int leftOf(int i, int n) { return 2 * i + 1 < n ? 2 * i + 1 : -1; }
int rightOf(int i, int n) { return 2 * i + 2 < n ? 2 * i + 2 : -1; }
int buddyOf(int i, int n) { return static_cast<int>((static_cast<long long>(i) * 7919 + 13) % n); }

// Node i's name: 20 characters.
std::string nameOf(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "node-%015d", i);
  return buf;
}
double valueOf(int i) { return i * 0.25 + 1.0 / 3; }

[[noreturn]] void mismatch(const char* lib, int i, const char* what) {
  std::fprintf(stderr, "%s: node %d read back with a wrong %s\n", lib, i, what);
  std::exit(1);
}

// Checks node i of a graph read back: its fields, and its links by address
// against the nodes the root lists (index -> node).
template <typename Node, typename At, typename Name>
void verifyNode(const char* lib, int i, int n, const Node& node, At at, Name name) {
  if (node.id != i) mismatch(lib, i, "id");
  if (node.value != valueOf(i)) mismatch(lib, i, "value");
  if (name(node) != nameOf(i)) mismatch(lib, i, "name");
  const int l = leftOf(i, n), r = rightOf(i, n);
  if (l < 0 ? !!node.left : &*node.left != at(l)) mismatch(lib, i, "left link");
  if (r < 0 ? !!node.right : &*node.right != at(r)) mismatch(lib, i, "right link");
  if (!node.buddy || &*node.buddy != at(buddyOf(i, n))) mismatch(lib, i, "buddy link");
}

class ClientNode : public Persistable {
 public:
  static const unsigned short ClientNode_id = 0x0402;
  unsigned short isA() const override { return ClientNode_id; }
  void saveContents(vostream& os) const override {
    os << id << value << name;
    writeLink(os, left);
    writeLink(os, right);
    writeLink(os, buddy);
  }
  void restoreContents(vistream& is) override {
    is >> id >> value >> name;
    left = readLink(is);
    right = readLink(is);
    buddy = readLink(is);
  }
  static Persistable* create() { return new ClientNode(); }

  int id = 0;
  double value = 0;
  std::tstring name;
  ClientNode* left = nullptr;
  ClientNode* right = nullptr;
  ClientNode* buddy = nullptr;

 private:
  static void writeLink(vostream& os, const ClientNode* link) {
    os << (link != nullptr);
    if (link) os << link;
  }
  static ClientNode* readLink(vistream& is) {
    bool present = false;
    is >> present;
    if (!present) return nullptr;
    Persistable* p = nullptr;
    is >> p;
    return static_cast<ClientNode*>(p);
  }
};

// The root: the node count, then every node pointer in order. It owns the
// nodes it read.
class ClientRoot : public Persistable {
 public:
  static const unsigned short ClientRoot_id = 0x0403;
  unsigned short isA() const override { return ClientRoot_id; }
  void saveContents(vostream& os) const override {
    os << static_cast<int>(nodes.size());
    for (const ClientNode* n : nodes) os << n;
  }
  void restoreContents(vistream& is) override {
    int count = 0;
    is >> count;
    nodes.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count && is.good(); ++i) {
      Persistable* p = nullptr;
      is >> p;
      nodes.push_back(static_cast<ClientNode*>(p));
    }
  }
  void release() {
    for (ClientNode* n : nodes) delete n;
    nodes.clear();
  }
  static Persistable* create() { return new ClientRoot(); }

  std::vector<ClientNode*> nodes;
};

struct BClientNode {
  int id = 0;
  double value = 0;
  std::string name;
  BClientNode* left = nullptr;
  BClientNode* right = nullptr;
  BClientNode* buddy = nullptr;
  template <class Archive>
  void serialize(Archive& ar, const unsigned int) {
    ar & id & value & name & left & right & buddy;
  }
};

struct BClientRoot {
  std::vector<BClientNode*> nodes;
  template <class Archive>
  void serialize(Archive& ar, const unsigned int) {
    ar & nodes;
  }
};

struct CClientNode {
  int id = 0;
  double value = 0;
  std::string name;
  std::shared_ptr<CClientNode> left, right, buddy;
  template <class Archive>
  void serialize(Archive& ar) {
    ar(id, value, name, left, right, buddy);
  }
};

struct CClientRoot {
  std::vector<std::shared_ptr<CClientNode>> nodes;
  template <class Archive>
  void serialize(Archive& ar) {
    ar(nodes);
  }
};

// Fills nodes[i] (made by the caller) with node i's fields and links.
template <typename Ptr, typename Node>
void linkClientNodes(const std::vector<Ptr>& nodes, Node& (*deref)(const Ptr&)) {
  const int n = static_cast<int>(nodes.size());
  for (int i = 0; i < n; ++i) {
    Node& node = deref(nodes[i]);
    node.id = i;
    node.value = valueOf(i);
    node.name = nameOf(i).c_str();
    const int l = leftOf(i, n), r = rightOf(i, n);
    node.left = l < 0 ? Ptr() : nodes[l];
    node.right = r < 0 ? Ptr() : nodes[r];
    node.buddy = nodes[buddyOf(i, n)];
  }
}

template <typename T>
T& derefRaw(T* const& p) { return *p; }
template <typename T>
T& derefShared(const std::shared_ptr<T>& p) { return *p; }

Times runClientPersistable(int n, int reps) {
  Times t;
  ClientRoot root;
  for (int i = 0; i < n; ++i) root.nodes.push_back(new ClientNode());
  linkClientNodes(root.nodes, &derefRaw<ClientNode>);
  const std::string path = benchFile("client-tobrel.bin");
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      Persistable::readyToSerialize();
      fvostream os(path.c_str());
      os << root;
      os.close();
    }));
    ClientRoot* back = nullptr;
    t.read = std::min(t.read, seconds([&] {
      Persistable::readyToSerialize();
      fvistream is(path.c_str());
      Persistable* p = nullptr;
      is >> p;
      back = static_cast<ClientRoot*>(p);
    }));
    if (!back || back->nodes.size() != static_cast<std::size_t>(n)) mismatch("Persistable", -1, "node count");
    const std::vector<ClientNode*>& all = back->nodes;
    for (int i = 0; i < n; ++i) {
      if (!all[i]) mismatch("Persistable", i, "node");
      verifyNode("Persistable", i, n, *all[i], [&](int k) { return all[k]; },
                 [](const ClientNode& c) { return std::string(c.name.c_str()); });
    }
    t.nodesBack = n;
    back->release();
    delete back;
  }
  Persistable::readyToSerialize();
  t.bytes = fileSize(path);
  root.release();
  std::remove(path.c_str());
  return t;
}

Times runClientBoost(int n, int reps) {
  Times t;
  BClientRoot root;
  for (int i = 0; i < n; ++i) root.nodes.push_back(new BClientNode());
  linkClientNodes(root.nodes, &derefRaw<BClientNode>);
  const std::string path = benchFile("client-boost.bin");
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      std::ofstream out(path, std::ios::binary);
      boost::archive::binary_oarchive ar(out);
      const BClientRoot& r = root;
      ar << r;
    }));
    BClientRoot back;
    t.read = std::min(t.read, seconds([&] {
      std::ifstream in(path, std::ios::binary);
      boost::archive::binary_iarchive ar(in);
      ar >> back;
    }));
    if (back.nodes.size() != static_cast<std::size_t>(n)) mismatch("Boost", -1, "node count");
    for (int i = 0; i < n; ++i) {
      verifyNode("Boost", i, n, *back.nodes[i], [&](int k) { return back.nodes[k]; },
                 [](const BClientNode& c) { return c.name; });
    }
    t.nodesBack = n;
    for (BClientNode* p : back.nodes) delete p;
  }
  t.bytes = fileSize(path);
  for (BClientNode* p : root.nodes) delete p;
  std::remove(path.c_str());
  return t;
}

Times runClientCereal(int n, int reps) {
  typedef std::shared_ptr<CClientNode> Ptr;
  Times t;
  CClientRoot root;
  for (int i = 0; i < n; ++i) root.nodes.push_back(std::make_shared<CClientNode>());
  linkClientNodes(root.nodes, &derefShared<CClientNode>);
  const std::string path = benchFile("client-cereal.bin");
  auto unlink = [](const std::vector<Ptr>& all) {  // break the cycles
    for (const Ptr& p : all) p->left = p->right = p->buddy = nullptr;
  };
  for (int rep = 0; rep < reps; ++rep) {
    t.write = std::min(t.write, seconds([&] {
      std::ofstream out(path, std::ios::binary);
      cereal::BinaryOutputArchive ar(out);
      ar(root);
    }));
    CClientRoot back;
    t.read = std::min(t.read, seconds([&] {
      std::ifstream in(path, std::ios::binary);
      cereal::BinaryInputArchive ar(in);
      ar(back);
    }));
    if (back.nodes.size() != static_cast<std::size_t>(n)) mismatch("cereal", -1, "node count");
    for (int i = 0; i < n; ++i) {
      verifyNode("cereal", i, n, *back.nodes[i], [&](int k) { return back.nodes[k].get(); },
                 [](const CClientNode& c) { return c.name; });
    }
    t.nodesBack = n;
    unlink(back.nodes);
  }
  t.bytes = fileSize(path);
  unlink(root.nodes);
  std::remove(path.c_str());
  return t;
}

// ---- the report ------------------------------------------------------------------

struct Row {
  int n;
  Times tobrel, boost, cereal;
};

struct Options {
  bool client = true, plain = false, alone = false;
  std::vector<int> sizes;
};

void report(const char* workload, const std::vector<int>& sizes,
            const std::function<Row(int n, int reps)>& measure) {
  std::vector<Row> rows;
  for (int n : sizes) {
    const int reps = n <= 50000 ? 5 : 3;
    Row row = measure(n, reps);
    rows.push_back(row);
    std::printf("%s N=%d\n", workload, n);
    const struct { const char* name; const Times& t; } libs[] = {
        {"Persistable", row.tobrel}, {"Boost", row.boost}, {"cereal", row.cereal}};
    const bool peers = row.cereal.write < 1e29;
    for (const auto& lib : libs) {
      if (&lib.t != &row.tobrel && !peers) continue;
      std::printf("  %-12s write %8.2f ms  read %8.2f ms  file %9ld bytes  nodes back %d\n", lib.name,
                  lib.t.write * 1e3, lib.t.read * 1e3, lib.t.bytes, lib.t.nodesBack);
    }
    if (!peers) continue;
    std::printf("  Persistable/cereal  write %.2f  read %.2f\n", row.tobrel.write / row.cereal.write,
                row.tobrel.read / row.cereal.read);
    std::printf("  Persistable/Boost   write %.2f  read %.2f\n", row.tobrel.write / row.boost.write,
                row.tobrel.read / row.boost.read);
  }
  if (rows.size() >= 2) {
    const Row& a = rows.front();
    const Row& b = rows.back();
    std::printf("%s growth N=%d -> N=%d (linear: %.1f)\n", workload, a.n, b.n, static_cast<double>(b.n) / a.n);
    std::printf("  Persistable write %.1f  read %.1f\n", b.tobrel.write / a.tobrel.write, b.tobrel.read / a.tobrel.read);
    std::printf("  Boost       write %.1f  read %.1f\n", b.boost.write / a.boost.write, b.boost.read / a.boost.read);
    std::printf("  cereal      write %.1f  read %.1f\n", b.cereal.write / a.cereal.write, b.cereal.read / a.cereal.read);
  }
  std::fflush(stdout);
}

void runAll(const Options& options) {
  ClassFactory::getInstance()->add(TNode::TNode_id, &TNode::create);
  ClassFactory::getInstance()->add(ClientNode::ClientNode_id, &ClientNode::create);
  ClassFactory::getInstance()->add(ClientRoot::ClientRoot_id, &ClientRoot::create);
  if (options.client) {
    report("client", options.sizes, [&](int n, int reps) {
      if (options.alone) return Row{n, runClientPersistable(n, reps), Times(), Times()};
      return Row{n, runClientPersistable(n, reps), runClientBoost(n, reps), runClientCereal(n, reps)};
    });
  }
  if (options.plain) {
    report("plain", options.sizes, [&](int n, int reps) {
      const Shape shape(n);
      if (options.alone) return Row{n, runPersistable(shape, reps), Times(), Times()};
      return Row{n, runPersistable(shape, reps), runBoost(shape, reps), runCereal(shape, reps)};
    });
  }
}

void* threadBody(void* arg) {
  runAll(*static_cast<Options*>(arg));
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--alone") {
      options.alone = true;
    } else if (arg == "client" || arg == "plain" || arg == "all") {
      options.client = arg != "plain";
      options.plain = arg != "client";
    } else if (std::atoi(argv[i]) > 0) {
      options.sizes.push_back(std::atoi(argv[i]));
    } else {
      std::fprintf(stderr, "usage: persist_bench [client|plain|all] [--alone] [N...]\n");
      return 2;
    }
  }
  if (options.sizes.empty()) options.sizes = {20000, 200000};
  // The writers and readers recurse once per nested record: give them room.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::size_t(512) << 20);
  pthread_t thread;
  if (pthread_create(&thread, &attr, threadBody, &options) != 0) {
    std::fprintf(stderr, "cannot start the benchmark thread\n");
    return 1;
  }
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return 0;
}
