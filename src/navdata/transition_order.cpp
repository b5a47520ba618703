#include "navdata/transition_order.h"

#include <algorithm>
#include <cctype>

namespace core_calc::navdata {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_bare_designator(std::string_view t) {
  if (t.size() < 2 || t.size() > 3 || !is_digit(t[0]) || !is_digit(t[1])) return false;
  return t.size() == 2 || std::string_view("LRCBT").find(t[2]) != std::string_view::npos;
}

std::string_view trim_ascii_space(std::string_view t) {
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!t.empty() && space(t.front())) t.remove_prefix(1);
  while (!t.empty() && space(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

TransitionKind transition_kind(std::string_view transition) {
  const std::string_view t = trim_ascii_space(transition);
  if (t.empty() || t == "ALL") return TransitionKind::kCommon;
  if (t.starts_with("RW") || is_bare_designator(t)) return TransitionKind::kRunway;
  return TransitionKind::kEnRoute;
}

bool is_arrival_table(std::string_view table) {
  constexpr std::string_view kStar = "star";
  const auto it =
      std::search(table.begin(), table.end(), kStar.begin(), kStar.end(),
                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return it != table.end();
}

int flying_rank(TransitionKind kind, bool arrival) {
  switch (kind) {
    case TransitionKind::kRunway:
      return arrival ? 2 : 0;
    case TransitionKind::kCommon:
      return 1;
    case TransitionKind::kEnRoute:
      break;
  }
  return arrival ? 0 : 2;
}

}  // namespace core_calc::navdata
