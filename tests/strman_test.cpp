#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "strman.h"

namespace {

struct OwnedText {
    String text = nullptr;
    ~OwnedText() { std::free(text); }
};

TEST(OwnedStringCopy, CopiesIntoANullFieldThenShrinksGrowsAndEmpties)
{
    OwnedText field;
    const char* first = "Guns, Germs, and Steel";
    ASSERT_EQ(strman_copy(&field.text, first), field.text);
    EXPECT_STREQ(field.text, first);
    EXPECT_NE(field.text, first) << "the field must own its own copy";
    const std::string long_text(100000, 'x');
    for (const std::string& text : {std::string("Ulysses"), long_text, std::string()}) {
        ASSERT_EQ(strman_copy(&field.text, text.c_str()), field.text);
        EXPECT_EQ(std::string(field.text), text);
    }
}

TEST(OwnedStringCopy, NullSourceReturnsNullAndKeepsThePreviousText)
{
    OwnedText field, empty;
    ASSERT_NE(strman_copy(&field.text, "Dune"), nullptr);
    String before = field.text;
    EXPECT_EQ(strman_copy(&field.text, nullptr), nullptr);
    EXPECT_EQ(field.text, before);
    EXPECT_STREQ(field.text, "Dune");
    EXPECT_EQ(strman_copy(&empty.text, nullptr), nullptr);
    EXPECT_EQ(empty.text, nullptr);
}

TEST(OwnedStringCopy, SourceInsideTheDestinationBufferIsCopiedSafely)
{
    // Each case copies a piece of the field's own text back into the field:
    // a suffix, the whole text, and the terminator alone.
    const struct {
        size_t offset;
        const char* expected;
    } cases[] = {
        {2, "ble Moby"},
        {0, "Bible Moby"},
        {10, ""},
        {9, "y"},
    };
    for (const auto& c : cases) {
        OwnedText field;
        ASSERT_NE(strman_copy(&field.text, "Bible Moby"), nullptr);
        ASSERT_NE(strman_copy(&field.text, field.text + c.offset), nullptr);
        EXPECT_STREQ(field.text, c.expected) << "offset " << c.offset;
    }
}

} // namespace
