#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "strman.h"

namespace {

struct OwnedText {
    String text = nullptr;
    ~OwnedText() { std::free(text); }
};

TEST(OwnedStringCopy, CopiesIntoANullFieldAndThenShrinksToAShorterText)
{
    OwnedText field;
    const char* first = "Guns, Germs, and Steel";
    ASSERT_EQ(strman_copy(&field.text, first), field.text);
    EXPECT_STREQ(field.text, first);
    EXPECT_NE(field.text, first) << "the field must own its own copy";

    ASSERT_NE(strman_copy(&field.text, "Ulysses"), nullptr);
    EXPECT_STREQ(field.text, "Ulysses");
    EXPECT_EQ(std::strlen(field.text), 7u);
}

TEST(OwnedStringCopy, NullSourceReturnsNullAndKeepsThePreviousText)
{
    OwnedText field;
    ASSERT_NE(strman_copy(&field.text, "Dune"), nullptr);
    String before = field.text;
    EXPECT_EQ(strman_copy(&field.text, nullptr), nullptr);
    EXPECT_EQ(field.text, before);
    EXPECT_STREQ(field.text, "Dune");

    OwnedText empty;
    EXPECT_EQ(strman_copy(&empty.text, nullptr), nullptr);
    EXPECT_EQ(empty.text, nullptr);
}

TEST(OwnedStringCopy, EmptySourceGivesAOneByteEmptyText)
{
    OwnedText field;
    ASSERT_NE(strman_copy(&field.text, ""), nullptr);
    EXPECT_STREQ(field.text, "");
}

TEST(OwnedStringCopy, SourceInsideTheDestinationBufferIsCopiedSafely)
{
    // Each case copies a piece of the field's own text back into the field:
    // a suffix, the whole text, and the terminator alone.
    const struct { size_t offset; const char* expected; } cases[] = {
        {2, "ble Moby"}, {0, "Bible Moby"}, {10, ""}, {9, "y"},
    };
    for (const auto& c : cases) {
        OwnedText field;
        ASSERT_NE(strman_copy(&field.text, "Bible Moby"), nullptr);
        ASSERT_NE(strman_copy(&field.text, field.text + c.offset), nullptr);
        EXPECT_STREQ(field.text, c.expected) << "offset " << c.offset;
    }
}

TEST(OwnedStringCopy, LongTextsAreCopiedWhole)
{
    OwnedText field;
    const std::string long_text(100000, 'x');
    ASSERT_NE(strman_copy(&field.text, "short"), nullptr);
    ASSERT_NE(strman_copy(&field.text, long_text.c_str()), nullptr);
    EXPECT_EQ(std::string(field.text), long_text);
}

} // namespace
