// Internal: the stack guard of save and restore.
//
// Each nested record costs one level of recursion through the library and
// the class's own saveContents/restoreContents. Before a further level, the
// guard compares the stack left on the thread (from the current frame down
// to the thread's stack limit) with what the level needs:
//
//   needed = kReserve + 2 * (largest level measured so far on this thread)
//
// A level is measured as the distance between the frames of two nested calls,
// so it includes the class's own frames, whatever they are, and the larger
// frames of sanitizer builds. kReserve covers what a level does below its
// own frame without nesting (stream reads, allocation, an exception being
// thrown) and the first level, before anything is measured.
//
// save additionally counts the stack it has already used twice, which leaves
// half of the stack to restore on a reading thread of the same size: enough
// while a class's restoreContents needs at most about twice the stack of its
// saveContents.
//
// When the thread's stack bounds are unknown, or the current frame is not on
// the thread's own stack (a fiber, a signal stack), nothing is checked.
//
// The same per-thread state keeps the thread's duplicate checker and class
// factory while a save or restore runs on the thread, so that nested
// records use them without a thread-local storage lookup each. The
// outermost call fills them in and empties them again when it ends; a
// checker destroyed meanwhile (Persistable::clearInstance from inside a
// class's contents) is forgotten here first (forgetCheckerOfThread).
#ifndef TOBRELTOOLS_PERSIST_INTERNAL_NESTING_H_
#define TOBRELTOOLS_PERSIST_INTERNAL_NESTING_H_

#include <cstddef>

class ClassFactory;
class DupChecker;

namespace tobrel {

#if defined(__SANITIZE_ADDRESS__)
#define TOBREL_NESTING_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOBREL_NESTING_ASAN 1
#endif
#endif

#if defined(TOBREL_NESTING_ASAN)
const std::size_t kNestingReserve = 256 * 1024;
#else
const std::size_t kNestingReserve = 64 * 1024;
#endif

// One kind of recursion (save or restore) on one thread.
struct NestingTrack {
  const char* parent = nullptr;  // frame of the innermost active call, null when none
  const char* top = nullptr;     // frame of the outermost active call
  std::size_t level = 0;         // largest level measured so far
};

struct NestingState {
  bool probed = false;
  const char* low = nullptr;     // usable stack: [low, high); null when unknown
  const char* high = nullptr;
  NestingTrack save;
  NestingTrack restore;
  // While a save or restore runs on the thread: the thread's objects, or
  // null where not looked up yet. Null otherwise.
  DupChecker* checker = nullptr;
  ClassFactory* factory = nullptr;

  bool active() const { return save.parent != nullptr || restore.parent != nullptr; }
};

// The calling thread's state, with its stack bounds probed on first use.
NestingState& nestingState();

// Forgets the duplicate checker kept for the calling thread's running pass
// (its checker is being destroyed).
void forgetCheckerOfThread();

// One active call: measures the level on entry, and gives the parent back
// on exit, also when an exception leaves the call.
class NestingLevel {
 public:
  NestingLevel(NestingState& state, NestingTrack& track, const char* frame)
      : state_(state), track_(track), frame_(frame), savedParent_(track.parent), savedTop_(track.top) {
    if (track.parent == nullptr) {
      track.top = frame;
    } else if (frame < track.parent && onStack(frame)) {
      const std::size_t level = static_cast<std::size_t>(track.parent - frame);
      if (level > track.level) track.level = level;
    }
    track.parent = frame;
  }
  ~NestingLevel() {
    track_.parent = savedParent_;
    track_.top = savedTop_;
    if (!state_.active()) {
      state_.checker = nullptr;
      state_.factory = nullptr;
    }
  }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

  // True when a further level fits; usedWeight is how many times the stack
  // already used since the outermost call counts again (0 for restore, 1
  // for save).
  bool fits(std::size_t usedWeight) const {
    if (!onStack(frame_)) return true;
    const std::size_t left = static_cast<std::size_t>(frame_ - state_.low);
    std::size_t needed = kNestingReserve + 2 * track_.level;
    if (usedWeight != 0 && track_.top > frame_) needed += usedWeight * static_cast<std::size_t>(track_.top - frame_);
    return left >= needed;
  }

 private:
  bool onStack(const char* p) const { return state_.low != nullptr && p > state_.low && p < state_.high; }

  NestingState& state_;
  NestingTrack& track_;
  const char* frame_;
  const char* savedParent_;
  const char* savedTop_;
};

}  // namespace tobrel

#endif  // TOBRELTOOLS_PERSIST_INTERNAL_NESTING_H_
