#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/export.h"

TOBREL_MODULE_ID("InternalException.cpp", "2026.12.05");

InternalException::InternalException() : code_(0) {}

InternalException::InternalException(const std::string& msg) : msg_(msg), code_(0) {}

InternalException::InternalException(const InternalException& other) = default;

InternalException& InternalException::operator=(const InternalException& other) = default;

const std::string& InternalException::getMsg() const { return msg_; }

int InternalException::getCode() const { return code_; }
