/*
 * The user record: construction, owned texts, validated phones that always
 * fit the record, and refusals that change nothing.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "rule.hpp"
#include "user.h"

namespace {

struct UserRelease {
    void operator()(User user) const { user_delete(user); }
};
using OwnedUser = std::unique_ptr<std::remove_pointer_t<User>, UserRelease>;

/* A phone that both rules accept. */
constexpr const char* kPhone = "+35 12 345 67 89";

OwnedUser make_user(const char* phone = kPhone)
{
    return OwnedUser(user_new(7, "Alice", "rua tudo", phone));
}

} // namespace

TEST(UserNew, KeepsItsFieldsAsOwnedCopies)
{
    char name[] = "Alice";
    char address[] = "rua tudo";
    char phone[] = "+35 12 345 67 89";
    OwnedUser user(user_new(42, name, address, phone));
    ASSERT_NE(user, nullptr);
    std::memset(name, 'x', sizeof name - 1);
    std::memset(address, 'x', sizeof address - 1);
    std::memset(phone, 'x', sizeof phone - 1);
    EXPECT_EQ(user_get_id(user.get()), 42u);
    EXPECT_STREQ(user_get_name(user.get()), "Alice");
    EXPECT_STREQ(user_get_address(user.get()), "rua tudo");
    EXPECT_STREQ(user_get_phone(user.get()), "+35 12 345 67 89");
    user_deleter(user.release());
}

TEST(UserNew, RefusesMissingOrEmptyTextsAndBadPhones)
{
    const struct {
        const char* name;
        const char* address;
        const char* phone;
    } cases[] = {
        {nullptr, "rua tudo", kPhone},
        {"", "rua tudo", kPhone},
        {"Alice", nullptr, kPhone},
        {"Alice", "", kPhone},
        {"Alice", "rua tudo", nullptr},
        {"Alice", "rua tudo", ""},
        {"Alice", "rua tudo", "1234567"},
        {"Alice", "rua tudo", "+35 12 345 67 8a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OwnedUser(user_new(1, c.name, c.address, c.phone)), nullptr)
            << (c.name ? c.name : "(null)") << " / " << (c.address ? c.address : "(null)")
            << " / " << (c.phone ? c.phone : "(null)");
}

TEST(UserNew, TakesAPlainDigitPhoneOnlyUnderTheCharacterRule)
{
    OwnedUser user(user_new(1, "Alice", "rua tudo", "253562453"));
    if (!kCharacterRule) {
        EXPECT_EQ(user, nullptr);
        return;
    }
    ASSERT_NE(user, nullptr);
    EXPECT_STREQ(user_get_phone(user.get()), "253562453");
}

TEST(UserSetPhone, RefusesPhonesLongerThanTheRecordHoldsEvenWhenTheRuleAcceptsThem)
{
    if (!kCharacterRule)
        GTEST_SKIP() << "only the character rule accepts phones of 17 to 20 characters";
    OwnedUser user = make_user();
    ASSERT_NE(user, nullptr);
    for (size_t length : {16u, 17u, 20u}) {
        const std::string phone(length, '9');
        ASSERT_TRUE(common_verify_phone(phone.c_str())) << length;
        const bool fits = length <= sizeof(Phone) - 1;
        EXPECT_EQ(user_set_phone(user.get(), phone.c_str()), fits) << length;
        EXPECT_EQ(OwnedUser(user_new(2, "Bob", "rua", phone.c_str())) != nullptr, fits) << length;
    }
    EXPECT_STREQ(user_get_phone(user.get()), std::string(16, '9').c_str());
}

TEST(UserSetters, ReplaceTheFieldAndARefusalLeavesTheOldValue)
{
    OwnedUser user = make_user();
    ASSERT_NE(user, nullptr);
    User u = user.get();

    EXPECT_TRUE(user_set_name(u, "Bartholomew Longname"));
    EXPECT_TRUE(user_set_name(u, "Bo"));
    EXPECT_STREQ(user_get_name(u), "Bo");
    EXPECT_TRUE(user_set_address(u, "avenida nova 12"));
    EXPECT_STREQ(user_get_address(u), "avenida nova 12");
    EXPECT_TRUE(user_set_phone(u, "+99 88 777 66 55"));
    EXPECT_STREQ(user_get_phone(u), "+99 88 777 66 55");
    EXPECT_TRUE(user_set_phone(u, user_get_phone(u))) << "a phone set from itself";
    EXPECT_STREQ(user_get_phone(u), "+99 88 777 66 55");

    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(user_set_name(u, bad));
        EXPECT_FALSE(user_set_address(u, bad));
        EXPECT_FALSE(user_set_phone(u, bad));
    }
    for (const char* bad : {"1234567", "+99 88 777 66 5x", "123456789012345678901"})
        EXPECT_FALSE(user_set_phone(u, bad)) << bad;
    EXPECT_STREQ(user_get_name(u), "Bo");
    EXPECT_STREQ(user_get_address(u), "avenida nova 12");
    EXPECT_STREQ(user_get_phone(u), "+99 88 777 66 55");
}

TEST(UserNullRecord, ReadsAsNullAndRefusesEveryChange)
{
    EXPECT_EQ(user_get_name(nullptr), nullptr);
    EXPECT_EQ(user_get_address(nullptr), nullptr);
    EXPECT_EQ(user_get_phone(nullptr), nullptr);
    EXPECT_FALSE(user_set_name(nullptr, "Alice"));
    EXPECT_FALSE(user_set_address(nullptr, "rua tudo"));
    EXPECT_FALSE(user_set_phone(nullptr, kPhone));
    user_delete(nullptr);
    user_deleter(nullptr);
}
