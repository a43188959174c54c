#include "judgement.h"

#include <gtest/gtest.h>

using namespace nuporaku;

namespace {

struct JudgementCase {
    const char* name;
    std::array<std::int32_t, menu_size> counts;
    Verdict verdict;
};

const JudgementCase judgement_cases[] = {
    {"all zero", {}, Verdict::NothingOrdered},
    {"hamburger at limit", {99}, Verdict::CannotPay},
    {"shake at limit", {0, 0, 0, 0, 0, 0, 0, 0, 99, 0}, Verdict::CannotPay},
    {"every item at 98", {98, 98, 98, 98, 98, 98, 98, 98, 98, 98}, Verdict::Accepted},
    {"smile at limit", {98, 0, 0, 0, 0, 0, 0, 0, 0, 99}, Verdict::SmileOverdone},
    {"smile and cola at limit", {0, 0, 0, 0, 0, 0, 0, 99, 0, 99}, Verdict::CannotPay},
    {"three digits typed", {0, 150}, Verdict::CannotPay},
    {"largest count", {0, 0, 0, 0, 0, 0, 0, 0, 0, INT32_MAX}, Verdict::SmileOverdone},
    {"one negative count", {0, 0, -5}, Verdict::Accepted},
    {"negative smile", {0, 0, 0, 0, 0, 0, 0, 0, 0, INT32_MIN}, Verdict::Accepted},
    {"one smile", {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, Verdict::Accepted},
};

}  // namespace

TEST(Judgement, FirstMatchingRuleGivesTheVerdict)
{
    for (const JudgementCase& c : judgement_cases) EXPECT_EQ(judge(OrderRecord{c.counts}), c.verdict) << c.name;
}

TEST(Judgement, EachPaidItemAloneAtTheLimitCannotBePaid)
{
    for (std::size_t i = 0; i < smile_index; ++i) {
        OrderRecord order;
        order.counts[i] = 99;
        EXPECT_EQ(judge(order), Verdict::CannotPay) << i;
    }
}

TEST(Judgement, MessagesOfTheRefusalsAndTheEmptyOrder)
{
    EXPECT_EQ(verdict_message(Verdict::NothingOrdered), u"冷やかしですか...");
    EXPECT_EQ(verdict_message(Verdict::CannotPay), u"そんな金がどこにあるんだい!?\r\n\r\n追い出されてしまった...");
    EXPECT_EQ(verdict_message(Verdict::SmileOverdone),
              u"顔がひきつってしまいましたわぁ\uFF5Eん\u3002\r\n\r\n追い出されてしまった...");
    EXPECT_TRUE(verdict_message(Verdict::Accepted).empty());
}
