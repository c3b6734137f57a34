#include "storage/variant_storage.h"

#include <cstring>
#include <string>

#include "types/text_encoding.h"

namespace standin {
namespace {

// Cannot start a text or a value a client wrote by chance: a NUL, SOH and a name.
constexpr char kTag[] = "\x00\x01sql_variant\x00";
constexpr size_t kTagSize = sizeof kTag - 1;

bool StoresNatively(const SqlType& t, const StoredValue& s) {
  switch (t.kind) {
    case TypeKind::Int: return true;
    case TypeKind::BigInt: return s.integer < INT32_MIN || s.integer > INT32_MAX;
    case TypeKind::Float: return true;
    case TypeKind::NVarChar: return static_cast<size_t>(t.length) == std::max<size_t>(1, Utf16Length(s.text));
    case TypeKind::VarBinary:
      return static_cast<size_t>(t.length) == std::max<size_t>(1, s.blob.size()) &&
             !IsTaggedVariant(s.blob.data(), s.blob.size());
    default: return false;
  }
}

}  // namespace

bool IsTaggedVariant(const uint8_t* data, size_t size) {
  return size > kTagSize && std::memcmp(data, kTag, kTagSize) == 0;
}

SqlType VariantBaseType(const Value& v) {
  if (v.declaredType && v.declaredType->kind != TypeKind::SqlVariant) return *v.declaredType;
  SqlType t;
  switch (v.kind) {
    case Value::Kind::Integer:
      t.kind = v.integer < INT32_MIN || v.integer > INT32_MAX ? TypeKind::BigInt : TypeKind::Int;
      break;
    case Value::Kind::Float: t.kind = TypeKind::Float; break;
    case Value::Kind::Decimal: {
      // numeric(p,s) of the literal's digits.
      int whole = 0, fraction = 0;
      bool afterDot = false, leading = true;
      for (char c : v.text) {
        if (c == '.') { afterDot = true; continue; }
        if (c < '0' || c > '9') continue;
        if (afterDot) ++fraction;
        else if (!(leading && c == '0')) { ++whole; leading = false; }
      }
      t.kind = TypeKind::Numeric;
      t.scale = std::min(fraction, 38);
      t.precision = std::min(38, std::max(1, whole + fraction));
      break;
    }
    case Value::Kind::Binary:
      t.kind = TypeKind::VarBinary;
      t.length = std::max<int>(1, static_cast<int>(v.bytes.size()));
      break;
    default:
      t.kind = v.national ? TypeKind::NVarChar : TypeKind::VarChar;
      t.length = std::max<int>(1, static_cast<int>(v.national ? Utf16Length(v.text) : ToCp1252(v.text).size()));
      break;
  }
  return t;
}

std::optional<StoredValue> StoreVariant(const Value& v, ConversionError& error) {
  if (v.kind == Value::Kind::Null) return StoredValue{};
  const SqlType base = VariantBaseType(v);
  if (base.kind == TypeKind::Text || base.kind == TypeKind::NText || base.kind == TypeKind::Image ||
      base.kind == TypeKind::Xml || base.kind == TypeKind::HierarchyId || base.IsMax()) {
    error = {206, "Operand type clash: " + TypeName(base) + " is incompatible with sql_variant"};
    return std::nullopt;
  }
  Value plain = v;
  plain.declaredType.reset();
  auto stored = ConvertToColumn(plain, base, error);
  if (!stored) return std::nullopt;
  if (StoresNatively(base, *stored)) return stored;
  // Tagged: kTag, the declaration, NUL, the storage class, the value.
  StoredValue tagged;
  tagged.kind = StoredValue::Kind::Blob;
  const std::string head = std::string(kTag, kTagSize) + TypeDeclaration(base) + '\0';
  tagged.blob.assign(head.begin(), head.end());
  std::string payload;
  char kind = 't';
  switch (stored->kind) {
    case StoredValue::Kind::Integer: kind = 'i'; payload = std::to_string(stored->integer); break;
    case StoredValue::Kind::Real: {
      kind = 'r';
      char b[40];
      std::snprintf(b, sizeof b, "%.17g", stored->real);
      payload = b;
      break;
    }
    case StoredValue::Kind::Blob: kind = 'b'; payload.assign(stored->blob.begin(), stored->blob.end()); break;
    default: payload = stored->text; break;
  }
  tagged.blob.push_back(static_cast<uint8_t>(kind));
  tagged.blob.insert(tagged.blob.end(), payload.begin(), payload.end());
  return tagged;
}

std::optional<VariantValue> LoadVariant(const StoredValue& s) {
  VariantValue v;
  v.stored = s;
  switch (s.kind) {
    case StoredValue::Kind::Null: return std::nullopt;
    case StoredValue::Kind::Integer:
      v.base.kind = s.integer < INT32_MIN || s.integer > INT32_MAX ? TypeKind::BigInt : TypeKind::Int;
      return v;
    case StoredValue::Kind::Real: v.base.kind = TypeKind::Float; return v;
    case StoredValue::Kind::Text:
      v.base = SqlType{TypeKind::NVarChar, std::max<int>(1, static_cast<int>(Utf16Length(s.text))), 0, 0};
      return v;
    case StoredValue::Kind::Blob: break;
  }
  if (!IsTaggedVariant(s.blob.data(), s.blob.size())) {
    v.base = SqlType{TypeKind::VarBinary, std::max<int>(1, static_cast<int>(s.blob.size())), 0, 0};
    return v;
  }
  const std::string rest(s.blob.begin() + kTagSize, s.blob.end());
  const size_t nul = rest.find('\0');
  if (nul == std::string::npos || nul + 1 >= rest.size()) return std::nullopt;
  const std::string decl = rest.substr(0, nul);
  const char kind = rest[nul + 1];
  const std::string payload = rest.substr(nul + 2);
  // "decimal(10,2)" → name and arguments.
  const size_t open = decl.find('(');
  const std::string name = decl.substr(0, open);
  long long a1 = 0, a2 = 0;
  int argCount = 0;
  if (open != std::string::npos) {
    argCount = std::sscanf(decl.c_str() + open, "(%lld,%lld)", &a1, &a2);
    if (argCount < 1) argCount = 0;
  }
  std::string ignored;
  const auto base = MakeType(name, argCount, a1, a2, false, ignored);
  if (!base) return std::nullopt;
  v.base = *base;
  v.stored = StoredValue{};
  switch (kind) {
    case 'i': v.stored.kind = StoredValue::Kind::Integer; v.stored.integer = std::stoll(payload); break;
    case 'r': v.stored.kind = StoredValue::Kind::Real; v.stored.real = std::strtod(payload.c_str(), nullptr); break;
    case 'b': v.stored.kind = StoredValue::Kind::Blob; v.stored.blob.assign(payload.begin(), payload.end()); break;
    default: v.stored.kind = StoredValue::Kind::Text; v.stored.text = payload; break;
  }
  return v;
}

}  // namespace standin
