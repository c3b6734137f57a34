#include "column_types.h"

#include <array>
#include <string>

#include "sql_error.h"
#include "sql_tokenizer.h"

namespace mdb {
namespace {

using jet::ColumnType;

// How a type word uses the numbers after it.
enum class Form {
  Fixed,       // numbers not allowed (int, bit, ...); float(n) and datetime(n) tolerate one
  Sized,       // Text(n), Memo when n > 255, a default length without (n)
  LongText,    // Memo, with or without a size
  Bytes,       // Binary(n), OLE Object when n > 255
  Precision,   // decimal(p[, s])
  Counter,     // AutoNumber Long: COUNTER or AUTOINCREMENT, optionally (seed, increment)
};

struct TypeWord {
  const char* word;
  ColumnType type;
  Form form;
  std::uint16_t defaultLength = 0;  // Sized/Bytes without (n); 0 = long type
};

// Jet's own names, the SQL Server names the converter passes through, and common synonyms.
constexpr std::array kTypeWords{
    TypeWord{"varchar", ColumnType::Text, Form::Sized, 255},
    TypeWord{"char", ColumnType::Text, Form::Sized, 255},
    TypeWord{"character", ColumnType::Text, Form::Sized, 255},
    TypeWord{"character varying", ColumnType::Text, Form::Sized, 255},
    TypeWord{"nchar", ColumnType::Text, Form::Sized, 255},
    TypeWord{"nvarchar", ColumnType::Text, Form::Sized, 255},
    TypeWord{"national char", ColumnType::Text, Form::Sized, 255},
    TypeWord{"national character", ColumnType::Text, Form::Sized, 255},
    TypeWord{"national character varying", ColumnType::Text, Form::Sized, 255},
    TypeWord{"string", ColumnType::Text, Form::Sized, 255},
    TypeWord{"alphanumeric", ColumnType::Text, Form::Sized, 255},
    // TEXT without a size is a Memo; with a size a Text column.
    TypeWord{"text", ColumnType::Text, Form::Sized, 0},
    TypeWord{"national text", ColumnType::Text, Form::Sized, 0},
    TypeWord{"memo", ColumnType::Memo, Form::LongText},
    TypeWord{"ntext", ColumnType::Memo, Form::LongText},
    TypeWord{"longtext", ColumnType::Memo, Form::LongText},
    TypeWord{"longchar", ColumnType::Memo, Form::LongText},
    TypeWord{"note", ColumnType::Memo, Form::LongText},
    TypeWord{"bit", ColumnType::Boolean, Form::Fixed},
    TypeWord{"yesno", ColumnType::Boolean, Form::Fixed},
    TypeWord{"logical", ColumnType::Boolean, Form::Fixed},
    TypeWord{"logical1", ColumnType::Boolean, Form::Fixed},
    TypeWord{"boolean", ColumnType::Boolean, Form::Fixed},
    TypeWord{"byte", ColumnType::Byte, Form::Fixed},
    TypeWord{"tinyint", ColumnType::Byte, Form::Fixed},
    TypeWord{"integer1", ColumnType::Byte, Form::Fixed},
    TypeWord{"smallint", ColumnType::Integer, Form::Fixed},
    TypeWord{"short", ColumnType::Integer, Form::Fixed},
    TypeWord{"integer2", ColumnType::Integer, Form::Fixed},
    TypeWord{"int", ColumnType::Long, Form::Fixed},
    TypeWord{"integer", ColumnType::Long, Form::Fixed},
    TypeWord{"long", ColumnType::Long, Form::Fixed},
    TypeWord{"integer4", ColumnType::Long, Form::Fixed},
    TypeWord{"counter", ColumnType::Long, Form::Counter},
    TypeWord{"autoincrement", ColumnType::Long, Form::Counter},
    // Jet 4 has no 64-bit integer: bigint becomes Decimal(19,0), which holds every value.
    TypeWord{"bigint", ColumnType::Decimal, Form::Fixed},
    TypeWord{"money", ColumnType::Currency, Form::Fixed},
    TypeWord{"smallmoney", ColumnType::Currency, Form::Fixed},
    TypeWord{"currency", ColumnType::Currency, Form::Fixed},
    TypeWord{"real", ColumnType::Single, Form::Fixed},
    TypeWord{"single", ColumnType::Single, Form::Fixed},
    TypeWord{"float4", ColumnType::Single, Form::Fixed},
    TypeWord{"ieeesingle", ColumnType::Single, Form::Fixed},
    TypeWord{"float", ColumnType::Double, Form::Fixed},
    TypeWord{"double", ColumnType::Double, Form::Fixed},
    TypeWord{"double precision", ColumnType::Double, Form::Fixed},
    TypeWord{"float8", ColumnType::Double, Form::Fixed},
    TypeWord{"ieeedouble", ColumnType::Double, Form::Fixed},
    TypeWord{"number", ColumnType::Double, Form::Fixed},
    TypeWord{"decimal", ColumnType::Decimal, Form::Precision},
    TypeWord{"numeric", ColumnType::Decimal, Form::Precision},
    TypeWord{"dec", ColumnType::Decimal, Form::Precision},
    TypeWord{"datetime", ColumnType::DateTime, Form::Fixed},
    TypeWord{"smalldatetime", ColumnType::DateTime, Form::Fixed},
    TypeWord{"datetime2", ColumnType::DateTime, Form::Fixed},
    TypeWord{"date", ColumnType::DateTime, Form::Fixed},
    TypeWord{"time", ColumnType::DateTime, Form::Fixed},
    TypeWord{"oleobject", ColumnType::Ole, Form::Fixed},
    TypeWord{"longbinary", ColumnType::Ole, Form::Fixed},
    TypeWord{"general", ColumnType::Ole, Form::Fixed},
    TypeWord{"image", ColumnType::Ole, Form::Fixed},
    TypeWord{"binary", ColumnType::Binary, Form::Bytes, 255},
    TypeWord{"varbinary", ColumnType::Binary, Form::Bytes, 255},
    TypeWord{"binary varying", ColumnType::Binary, Form::Bytes, 255},
    // SQL Server's timestamp is an 8-byte row version, copied as its bytes.
    TypeWord{"timestamp", ColumnType::Binary, Form::Fixed, 8},
    TypeWord{"rowversion", ColumnType::Binary, Form::Fixed, 8},
    TypeWord{"uniqueidentifier", ColumnType::Guid, Form::Fixed},
    TypeWord{"guid", ColumnType::Guid, Form::Fixed},
};

const TypeWord* FindTypeWord(const std::string& word) {
  for (const TypeWord& t : kTypeWords) {
    if (EqualsIgnoreCase(word, t.word)) return &t;
  }
  return nullptr;
}

[[noreturn]] void Refuse(const ColumnSpec& declared, const std::string& what) {
  throw SqlError("42000", "Column \"" + declared.name + "\": " + what);
}

}  // namespace

jet::ColumnDef ColumnFromSpec(const ColumnSpec& declared) {
  const TypeWord* word = FindTypeWord(declared.type.word);
  if (!word) Refuse(declared, "unknown type '" + declared.type.word + "'");

  jet::ColumnDef column;
  column.name = declared.name;
  column.type = word->type;
  column.required = declared.nullability == Nullability::NotNull;
  if (declared.defaultExpression) column.defaultValue = *declared.defaultExpression;
  const auto& size = declared.type.size;
  const auto& scale = declared.type.scale;
  auto sizeText = [&] {
    return std::to_string(*size) + (scale ? "," + std::to_string(*scale) : std::string());
  };

  switch (word->form) {
    case Form::Fixed:
      // float(53), datetime2(7), time(3): the number only tunes the source type.
      if (scale || (size && word->type != ColumnType::Double && word->type != ColumnType::Single &&
                    word->type != ColumnType::DateTime))
        Refuse(declared, "type " + declared.type.word + " takes no size, found (" + sizeText() + ")");
      if (word->type == ColumnType::Decimal) {  // bigint
        column.precision = 19;
        column.scale = 0;
      }
      if (word->type == ColumnType::Binary) column.length = word->defaultLength;
      break;
    case Form::Sized:
      if (scale) Refuse(declared, "type " + declared.type.word + " takes one size, found (" + sizeText() + ")");
      if (!size) {
        if (word->defaultLength == 0) {
          column.type = ColumnType::Memo;
        } else {
          column.length = word->defaultLength;
        }
      } else if (*size == -1 || *size > 255) {
        column.type = ColumnType::Memo;
      } else if (*size < 1) {
        Refuse(declared, "text length must be 1 to 255, found " + std::to_string(*size));
      } else {
        column.length = static_cast<std::uint16_t>(*size);
      }
      break;
    case Form::LongText:
      if (scale || (size && *size == 0))
        Refuse(declared, "type " + declared.type.word + " takes at most a positive size");
      break;
    case Form::Bytes:
      if (scale) Refuse(declared, "type " + declared.type.word + " takes one size, found (" + sizeText() + ")");
      if (!size) {
        column.length = word->defaultLength;
      } else if (*size == -1 || *size > 255) {
        column.type = ColumnType::Ole;
      } else if (*size < 1) {
        Refuse(declared, "binary length must be 1 to 255, found " + std::to_string(*size));
      } else {
        column.length = static_cast<std::uint16_t>(*size);
      }
      break;
    case Form::Counter:
      // Jet 4 keeps one counter that counts up by one; other seeds and steps are refused.
      if (size && (*size != 1 || scale.value_or(1) != 1))
        Refuse(declared, "an AutoNumber counts from 1 by 1; (" + sizeText() + ") is not supported");
      column.autoNumber = true;
      break;
    case Form::Precision: {
      long long precision = size.value_or(18);
      long long digits = scale.value_or(0);
      if (precision < 1 || precision > 28)
        Refuse(declared, "decimal precision must be 1 to 28, found " + std::to_string(precision));
      if (digits < 0 || digits > precision)
        Refuse(declared, "decimal scale must be 0 to the precision (" + std::to_string(precision) +
                         "), found " + std::to_string(digits));
      column.precision = static_cast<std::uint8_t>(precision);
      column.scale = static_cast<std::uint8_t>(digits);
      break;
    }
  }
  return column;
}

}  // namespace mdb
