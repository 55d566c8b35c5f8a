// The values of an application class's primitive fields as dump shows them
// and undump takes them back: the stored bits of each of the twelve types,
// shown as JSON and as text.
#ifndef TOBREL_CLI_DUMP_FIELD_VALUE_H_
#define TOBREL_CLI_DUMP_FIELD_VALUE_H_

#include <cstdint>
#include <string>

#include "cli/dump/json.h"
#include "cli/dump/schema.h"

namespace tobrel {
namespace cli {

// The value as an integer, for the counts and conditions of later fields
// (a bool is 0 or not; a float or double is never one).
std::int64_t fieldInteger(Primitive type, std::uint64_t bits);

// JSON: integers as numbers; a bool as true or false (a stored byte other
// than 0 or 1 as its number); a float or double as a number when finite,
// otherwise as a string of its bits ("0x7FF8000000000000").
Json fieldJson(Primitive type, std::uint64_t bits);

// The bits of a JSON value in the form fieldJson gives; false with the
// reason when it is not one or does not fit the type.
bool fieldBits(Primitive type, const Json& value, std::uint64_t& bits, std::string& error);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_FIELD_VALUE_H_
