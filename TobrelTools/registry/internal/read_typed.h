// Reading registry objects from streams: the checks shared by the typed
// pointer operators and by a key's element list.
#ifndef TOBRELTOOLS_REGISTRY_INTERNAL_READ_TYPED_H_
#define TOBRELTOOLS_REGISTRY_INTERNAL_READ_TYPED_H_

#include <string>

#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/stream/vistream.h"

namespace tobrel {

// The number of objects recorded so far in the calling thread's pass.
unsigned int recordedCount();

// Whether obj was created by a read that started when recordedCount() was
// before: a created object is recorded right after its creation under the
// next index, while a back-reference records nothing and yields an object
// that belongs to someone else.
bool createdSince(unsigned int before, const Persistable* obj);

// Sets the stream's fail bit and throws InternalException* with msg.
[[noreturn]] void failRead(vistream& is, const std::string& msg);

// "0xF033": a class id as text for messages.
std::string classIdText(unsigned short id);

// Reads a record through Persistable's pointer operator (which deletes the
// object it created when an error is thrown) and returns the object, or null
// when the stream failed. An object for which isKind is false is deleted
// when this read created it, and the read ends with the stream's fail bit
// and InternalException*
// "<name>: the stream holds class id 0x<id> where a <name> was expected".
Persistable* readOfKind(vistream& is, const char* name, bool (*isKind)(const Persistable*));

// The pointer form of operator>> for a registry class T, on readOfKind.
template <class T>
vistream& readTyped(vistream& is, T*& obj, const char* name) {
  Persistable* p = readOfKind(is, name, [](const Persistable* q) {
    return dynamic_cast<const T*>(q) != 0;
  });
  obj = dynamic_cast<T*>(p);
  return is;
}

}  // namespace tobrel

#endif  // TOBRELTOOLS_REGISTRY_INTERNAL_READ_TYPED_H_
