// The library's one exception type. It is always thrown as a pointer to an
// object made with new; the catcher owns it and deletes it:
//
//   try { fvistream in("data.bin"); ... }
//   catch (InternalException* e) { report(e->getMsg()); delete e; }
//
// Every exception the library throws has code 0.
#ifndef TOBRELTOOLS_PERSIST_INTERNALEXCEPTION_H_
#define TOBRELTOOLS_PERSIST_INTERNALEXCEPTION_H_

#include <string>

#include "TobrelTools/export.h"

class TOBREL_API InternalException {
 public:
  InternalException();                          // empty message, code 0
  explicit InternalException(const std::string& msg);  // code 0
  InternalException(const InternalException& other);
  InternalException& operator=(const InternalException& other);

  const std::string& getMsg() const;
  int getCode() const;

 private:
  std::string msg_;
  int code_;
};

#endif  // TOBRELTOOLS_PERSIST_INTERNALEXCEPTION_H_
