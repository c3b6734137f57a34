// sql_variant values in SQLite: a value keeps its base type. int, bigint (beyond
// int's range), float, nvarchar and varbinary values whose declared length is
// their own are stored natively, so they compare and sort as SQLite values; any
// other base type is kept as a tagged blob naming the type beside the value.
#pragma once

#include <optional>

#include "types/sql_type.h"
#include "types/value_conversion.h"

namespace standin {

struct VariantValue {
  SqlType base;
  StoredValue stored;  // in the storage form of `base`
};

// The base type SQL Server gives a value assigned to a sql_variant: its declared
// type when it came from CONVERT/CAST, else the type of the literal.
SqlType VariantBaseType(const Value& v);

// Converts `v` to its base type and returns the form to store.
std::optional<StoredValue> StoreVariant(const Value& v, ConversionError& error);

// Reads a stored value back with its base type (NULL stays nullopt).
std::optional<VariantValue> LoadVariant(const StoredValue& stored);

// True for blobs written by StoreVariant for a tagged base type.
bool IsTaggedVariant(const uint8_t* data, size_t size);

}  // namespace standin
