// The calling thread's stack bounds, for code that must know how much stack
// is left before it recurses further (the persistence module's nesting
// guard). Stacks grow towards lower addresses on every host the library
// supports, so the stack left is the distance from the current frame down to
// `low`.
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_STACK_BOUNDS_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_STACK_BOUNDS_H_


namespace tobrel {

// Stores the lowest usable address (above any guard area) and the highest
// address of the calling thread's stack; false, storing nothing, when the
// host cannot tell. The query is not cheap: callers cache it per thread.
bool currentThreadStack(const char** low, const char** high);

}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_STACK_BOUNDS_H_
