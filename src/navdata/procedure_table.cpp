#include "navdata/procedure_table.h"

#include "common/number_text.h"

namespace core_calc::navdata {
namespace {

constexpr std::array<std::string_view, kColumnCount> kColumnNames = {
    "procedure_identifier", "transition_identifier", "seqno",
    "waypoint_identifier",  "waypoint_latitude",     "waypoint_longitude",
};

bool is_host_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// Code point of the UTF-8 sequence of `size` bytes at `p`; malformed input decodes
// to a value that is no space, so it is never stripped.
char32_t decode(const unsigned char* p, std::size_t size) {
  if (size == 1) return p[0];
  char32_t c = p[0] & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (p[i] & 0x3F);
  }
  return c;
}

std::size_t sequence_size(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

void ProcedureRows::require(Column column) const {
  const auto index = static_cast<std::size_t>(column);
  if (!present[index]) throw MissingColumn("no such column: " + std::string(kColumnNames[index]));
}

ProcedureRows read_procedure_rows(const Database& db, const std::string& sql,
                                  const std::vector<std::string>& params) {
  Statement st(db, sql);
  for (std::size_t i = 0; i < params.size(); ++i) st.bind_text(static_cast<int>(i) + 1, params[i]);

  ProcedureRows result;
  std::array<int, kColumnCount> source{};
  for (std::size_t field = 0; field < kColumnCount; ++field) {
    source[field] = -1;
    for (int col = 0; col < st.column_count() && source[field] < 0; ++col)
      if (st.column_name(col) == kColumnNames[field]) source[field] = col;
    result.present[field] = source[field] >= 0;
  }
  while (st.step()) {
    ProcedureRow& row = result.rows.emplace_back();
    for (std::size_t field = 0; field < kColumnCount; ++field)
      if (source[field] >= 0) row[field] = st.column_value(source[field]);
  }
  return result;
}

std::string remove_all(std::string_view text, std::string_view part) {
  if (part.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, from)) {
    out.append(text.substr(from, at - from));
    from = at + part.size();
  }
  out.append(text.substr(from));
  return out;
}

std::string stored_text(const SqlValue& value) {
  switch (value.kind) {
    case SqlValue::Kind::kInteger:
      return int_text(value.integer);
    case SqlValue::Kind::kReal:
      return float_text(value.real);
    case SqlValue::Kind::kText:
    case SqlValue::Kind::kBlob:
      return value.text;
    case SqlValue::Kind::kNull:
      break;
  }
  return "None";
}

std::string_view strip_space(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t begin = 0;
  std::size_t end = utf8.size();
  while (begin < end) {
    const std::size_t size = sequence_size(bytes[begin]);
    if (begin + size > end || !is_host_space(decode(bytes + begin, size))) break;
    begin += size;
  }
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (bytes[start] & 0xC0) == 0x80) --start;
    const std::size_t size = end - start;
    if (sequence_size(bytes[start]) != size || !is_host_space(decode(bytes + start, size))) break;
    end = start;
  }
  return utf8.substr(begin, end - begin);
}

bool stored_real(const SqlValue& value, double& out) {
  // The host's float() also reads a number spelled in bytes.
  if (value.kind == SqlValue::Kind::kBlob) return text_to_real(value.text, out);
  return to_real(value, out);
}

}  // namespace core_calc::navdata
