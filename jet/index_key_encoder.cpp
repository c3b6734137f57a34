#include "jet/index_key_encoder.h"

namespace jet {

IndexKeyEncoder::IndexKeyEncoder(std::vector<IndexKeyColumn> columns) : columns_(std::move(columns)) {}

void IndexKeyEncoder::AppendKey(std::span<const Value> keyValues, Bytes& out) const {
  for (std::size_t i = 0; i < columns_.size() && i < keyValues.size(); ++i)
    AppendColumn(columns_[i], keyValues[i], out);
}

Bytes IndexKeyEncoder::Key(std::span<const Value> keyValues) const {
  Bytes out;
  AppendKey(keyValues, out);
  return out;
}

void IndexKeyEncoder::AppendColumn(const IndexKeyColumn& column, const Value&, Bytes& out) {
  out.push_back(column.ascending ? 0x7F : 0x80);
}

}  // namespace jet
