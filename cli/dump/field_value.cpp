#include "cli/dump/field_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("field_value.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

bool isSigned(Primitive t) {
  return t == Primitive::kChar || t == Primitive::kInt || t == Primitive::kLong || t == Primitive::kShort ||
         t == Primitive::kInt64;
}

std::int64_t signExtend(std::uint64_t bits, std::size_t width) {
  if (width == 8) return static_cast<std::int64_t>(bits);
  const std::uint64_t sign = std::uint64_t(1) << (width * 8 - 1);
  return static_cast<std::int64_t>((bits ^ sign) - sign);
}

double asDouble(Primitive type, std::uint64_t bits) {
  if (type == Primitive::kFloat) {
    float f;
    std::uint32_t b = static_cast<std::uint32_t>(bits);
    std::memcpy(&f, &b, 4);
    return f;
  }
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

}  // namespace

std::int64_t fieldInteger(Primitive type, std::uint64_t bits) {
  if (type == Primitive::kFloat || type == Primitive::kDouble) return 0;
  return isSigned(type) ? signExtend(bits, primitiveWidth(type)) : static_cast<std::int64_t>(bits);
}

Json fieldJson(Primitive type, std::uint64_t bits) {
  if (type == Primitive::kFloat || type == Primitive::kDouble) {
    double d = asDouble(type, bits);
    if (std::isfinite(d)) return d;
    char text[24];
    std::snprintf(text, sizeof text, type == Primitive::kFloat ? "0x%08llX" : "0x%016llX",
                  static_cast<unsigned long long>(bits));
    return text;
  }
  if (type == Primitive::kBool && bits <= 1) return bits == 1;
  if (isSigned(type)) return signExtend(bits, primitiveWidth(type));
  return bits;
}

bool fieldBits(Primitive type, const Json& value, std::uint64_t& bits, std::string& error) {
  const std::size_t width = primitiveWidth(type);
  const std::uint64_t mask = width == 8 ? ~std::uint64_t(0) : (std::uint64_t(1) << (width * 8)) - 1;
  if (type == Primitive::kFloat || type == Primitive::kDouble) {
    if (value.is_string()) {
      const std::string& s = value.get_ref<const std::string&>();
      char* end = nullptr;
      unsigned long long v = std::strtoull(s.c_str(), &end, 16);
      if (s.size() < 3 || s.compare(0, 2, "0x") != 0 || *end != '\0' || (v & ~mask) != 0) {
        error = "expected a number or the bits as \"0x...\"";
        return false;
      }
      bits = v;
      return true;
    }
    if (!value.is_number()) {
      error = "expected a number";
      return false;
    }
    double d = value.get<double>();
    if (type == Primitive::kFloat) {
      float f = static_cast<float>(d);
      std::uint32_t b;
      std::memcpy(&b, &f, 4);
      bits = b;
    } else {
      std::memcpy(&bits, &d, 8);
    }
    return true;
  }
  if (type == Primitive::kBool && value.is_boolean()) {
    bits = value.get<bool>() ? 1 : 0;
    return true;
  }
  if (!value.is_number_integer()) {
    error = std::string("expected ") + (type == Primitive::kBool ? "true, false or a byte" : "an integer");
    return false;
  }
  if (isSigned(type)) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
      error = std::string("out of the range of ") + primitiveName(type);
      return false;
    }
    const std::int64_t v = value.get<std::int64_t>();
    if (width < 8) {
      const std::int64_t limit = std::int64_t(1) << (width * 8 - 1);
      if (v < -limit || v >= limit) {
        error = std::string("out of the range of ") + primitiveName(type);
        return false;
      }
    }
    bits = static_cast<std::uint64_t>(v) & mask;
    return true;
  }
  if (!value.is_number_unsigned() || (value.get<std::uint64_t>() & ~mask) != 0) {
    error = std::string("out of the range of ") + primitiveName(type);
    return false;
  }
  bits = value.get<std::uint64_t>();
  return true;
}

}  // namespace cli
}  // namespace tobrel
