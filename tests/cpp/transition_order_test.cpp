// The flying order of transition kinds within one departure or arrival procedure.
#include "navdata/transition_order.h"

#include <gtest/gtest.h>

#include <string>

namespace core_calc::navdata {
namespace {

struct KindCase {
  std::string transition;
  TransitionKind kind;
};

class TransitionKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(TransitionKindTest, ClassifiesTheIdentifier) {
  EXPECT_EQ(transition_kind(GetParam().transition), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, TransitionKindTest,
    testing::Values(
        KindCase{"RW09L", TransitionKind::kRunway},
        KindCase{"RWY", TransitionKind::kRunway},  // any "RW" prefix
        KindCase{"09", TransitionKind::kRunway}, KindCase{"27L", TransitionKind::kRunway},
        KindCase{"18C", TransitionKind::kRunway}, KindCase{"36R", TransitionKind::kRunway},
        KindCase{"04B", TransitionKind::kRunway}, KindCase{"22T", TransitionKind::kRunway},
        KindCase{" 09\t", TransitionKind::kRunway}, KindCase{"ALL", TransitionKind::kCommon},
        KindCase{"", TransitionKind::kCommon}, KindCase{"   ", TransitionKind::kCommon},
        KindCase{"9", TransitionKind::kEnRoute}, KindCase{"270", TransitionKind::kEnRoute},
        KindCase{"27X", TransitionKind::kEnRoute}, KindCase{"27LL", TransitionKind::kEnRoute},
        KindCase{"0A", TransitionKind::kEnRoute}, KindCase{"ALLX", TransitionKind::kEnRoute},
        KindCase{"BULGE", TransitionKind::kEnRoute}, KindCase{"R", TransitionKind::kEnRoute}));

TEST(TransitionOrder, ArrivalTablesNameStarsInAnyCase) {
  EXPECT_TRUE(is_arrival_table("tbl_stars"));
  EXPECT_TRUE(is_arrival_table("TBL_STARS_2401"));
  EXPECT_TRUE(is_arrival_table("Stars"));
  EXPECT_FALSE(is_arrival_table("tbl_sids"));
  EXPECT_FALSE(is_arrival_table("tbl_sta_rs"));
  EXPECT_FALSE(is_arrival_table(""));
}

TEST(TransitionOrder, DepartureFliesRunwayCommonEnRoute) {
  EXPECT_LT(flying_rank(TransitionKind::kRunway, false),
            flying_rank(TransitionKind::kCommon, false));
  EXPECT_LT(flying_rank(TransitionKind::kCommon, false),
            flying_rank(TransitionKind::kEnRoute, false));
}

TEST(TransitionOrder, ArrivalFliesEnRouteCommonRunway) {
  EXPECT_LT(flying_rank(TransitionKind::kEnRoute, true),
            flying_rank(TransitionKind::kCommon, true));
  EXPECT_LT(flying_rank(TransitionKind::kCommon, true), flying_rank(TransitionKind::kRunway, true));
}

}  // namespace
}  // namespace core_calc::navdata
