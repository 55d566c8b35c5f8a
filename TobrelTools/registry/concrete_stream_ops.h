// Writing a registry object through a pointer on a concrete stream
// (fvostream, ...). Without this, `out << &key` on such a stream would be
// ambiguous in ISO C++: the stream's own operator<<(bool) needs no
// conversion of `out` and a standard one of the pointer, the class's
// operator<<(vostream&, const X*) the reverse.
#ifndef TOBRELTOOLS_REGISTRY_CONCRETE_STREAM_OPS_H_
#define TOBRELTOOLS_REGISTRY_CONCRETE_STREAM_OPS_H_

#include <type_traits>

#include "TobrelTools/stream/vostream.h"

namespace tobrel {

// True for a stream class derived from vostream (not vostream itself).
template <class S>
struct isConcreteOStream
    : std::integral_constant<bool, std::is_base_of<vostream, S>::value && !std::is_same<S, vostream>::value> {};

}  // namespace tobrel

// Declares the pointer form of operator<< for X on every concrete stream.
#define TOBREL_CONCRETE_STREAM_POINTER_WRITE(X)                                               \
  template <class S, class = typename std::enable_if<tobrel::isConcreteOStream<S>::value>::type> \
  inline vostream& operator<<(S& os, const X* obj) {                                          \
    return operator<<(static_cast<vostream&>(os), obj);                                       \
  }

#endif  // TOBRELTOOLS_REGISTRY_CONCRETE_STREAM_OPS_H_
