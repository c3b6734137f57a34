// CONVERT(type, value[, style]) and CAST(value AS type): explicit conversions,
// which SQL Server allows more widely than the implicit ones of an INSERT
// (strings are cut instead of refused, styles format dates, binaries convert).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "types/sql_type.h"
#include "types/value_conversion.h"

namespace standin {

// The target type as written ("varchar(10)", "decimal(10,2)", "nvarchar"); char
// and binary types without a length get CONVERT's default of 30.
std::optional<SqlType> ParseTargetType(std::string_view text, ConversionError& error);

// Converts `v` to `t`; nullopt with `error` set (SQL Server's number and text).
std::optional<StoredValue> ConvertExplicitly(const Value& v, const SqlType& t, std::optional<int> style,
                                             ConversionError& error);

// Errors cross SQLite's function interface as text: "standin-error:245:Conversion failed ...".
std::string EncodeConversionError(const ConversionError& e);
std::optional<ConversionError> DecodeConversionError(std::string_view text);

}  // namespace standin
