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

const char* show(const char* text)
{
    return text != nullptr ? text : "(null)";
}

} // namespace

TEST(UserNew, KeepsItsFieldsAsOwnedCopies)
{
    char name[] = "Alice", address[] = "rua tudo", phone[] = "+35 12 345 67 89";
    OwnedUser user(user_new(42, name, address, phone));
    ASSERT_NE(user, nullptr);
    for (char* text : {name, address, phone})
        std::memset(text, 'x', std::strlen(text));
    EXPECT_EQ(user_get_id(user.get()), 42u);
    EXPECT_STREQ(user_get_name(user.get()), "Alice");
    EXPECT_STREQ(user_get_address(user.get()), "rua tudo");
    EXPECT_STREQ(user_get_phone(user.get()), kPhone);
    user_deleter(user.release());
}

TEST(UserNew, RefusesMissingOrEmptyTextsAndPhonesTheRuleRefuses)
{
    const struct {
        const char *name, *address, *phone;
        bool pattern, character;
    } cases[] = {
        {nullptr, "rua tudo", kPhone, false, false},
        {"", "rua tudo", kPhone, false, false},
        {"Alice", nullptr, kPhone, false, false},
        {"Alice", "", kPhone, false, false},
        {"Alice", "rua tudo", nullptr, false, false},
        {"Alice", "rua tudo", "", false, false},
        {"Alice", "rua tudo", "1234567", false, false},
        {"Alice", "rua tudo", "+35 12 345 67 8a", false, false},
        {"Alice", "rua tudo", "253562453", false, true},
    };
    for (const auto& c : cases) {
        OwnedUser user(user_new(1, c.name, c.address, c.phone));
        ASSERT_EQ(user != nullptr, kCharacterRule ? c.character : c.pattern)
            << show(c.name) << " / " << show(c.address) << " / " << show(c.phone);
        if (user != nullptr) {
            EXPECT_STREQ(user_get_phone(user.get()), c.phone);
        }
    }
}

TEST(UserSetPhone, RefusesPhonesLongerThanTheRecordHoldsEvenWhenTheRuleAcceptsThem)
{
    if (!kCharacterRule)
        GTEST_SKIP() << "only the character rule accepts phones of 17 to 20 characters";
    OwnedUser user(user_new(7, "Alice", "rua tudo", kPhone));
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
    OwnedUser user(user_new(7, "Alice", "rua tudo", kPhone));
    ASSERT_NE(user, nullptr);
    User u = user.get();

    EXPECT_TRUE(user_set_name(u, "Bartholomew Longname"));
    EXPECT_TRUE(user_set_name(u, "Bo"));
    EXPECT_TRUE(user_set_address(u, "avenida nova 12"));
    EXPECT_TRUE(user_set_phone(u, "+99 88 777 66 55"));
    EXPECT_TRUE(user_set_phone(u, user_get_phone(u))) << "a phone set from itself";

    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(user_set_name(u, bad));
        EXPECT_FALSE(user_set_address(u, bad));
    }
    for (const char* bad : {static_cast<const char*>(nullptr), "", "1234567", "+99 88 777 66 5x",
                            "123456789012345678901"})
        EXPECT_FALSE(user_set_phone(u, bad)) << show(bad);
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
