// Rendering of every reader error kind.
#include <gtest/gtest.h>

#include <string>

#include "read/read_error.h"

namespace plovane {
namespace {

TEST(ReadError, EachKindRendersItsMessage) {
    EXPECT_EQ(ReadError(IndexError{IndexError::Kind::UnclosedTag, 17}).message(),
              "malformed XML: Unclosed tag at byte 17");
    EXPECT_EQ(ReadError::malformed("unexpected '<'", 5).message(),
              "malformed XML at byte 5: unexpected '<'");
    EXPECT_EQ(ReadError(ReadError::RootNotFound{"b"}).message(),
              "root tag <b> not found in document");
    EXPECT_EQ(ReadError(ReadError::RootNotFound{""}).message(),
              "root tag <> not found in document");
    EXPECT_EQ(ReadError(ReadError::Unclosed{"a"}).message(),
              "unexpected end of document: <a> is never closed");
    EXPECT_EQ(ReadError(ReadError::UnknownEntity{"nbsp", 12}).message(),
              "unknown entity reference '&nbsp;' at byte 12");
    EXPECT_EQ(ReadError(ReadError::UnknownEntity{"", 0}).message(),
              "unknown entity reference '&;' at byte 0");
}

// Names the index cut at a byte count: the message keeps their whole
// characters only, so that it can be raised as text.
TEST(ReadError, MessagesKeepOnlyWholeCharactersOfCutNames) {
    struct Case {
        std::string name;  // as cut
        std::string shown;
    };
    const Case cases[] = {
        {"a\xC3", "a"},                                    // two-byte character, first byte
        {"x\xE2\x82", "x"},                                // three-byte character, two bytes
        {"x\xE2", "x"},                                    // three-byte character, first byte
        {"n-\xF0\x9F\x98", "n-"},                          // four-byte character, three bytes
        {"\xA9\xC3\xA9z", "\xC3\xA9z"},                    // an area starting inside a character
        {"\xC3\xA9\xE2\x82\xAC", "\xC3\xA9\xE2\x82\xAC"},  // whole: unchanged
        {"\xC3", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadError::malformed("malformed end tag </" + c.name + ">", 3).message(),
                  "malformed XML at byte 3: malformed end tag </" + c.shown + ">")
            << c.shown;
        EXPECT_EQ(ReadError(ReadError::Unclosed{c.name}).message(),
                  "unexpected end of document: <" + c.shown + "> is never closed")
            << c.shown;
    }
}

TEST(ReadError, PositionsAreFullWidthDecimal) {
    EXPECT_EQ(ReadError::malformed("x", UINT64_MAX).message(),
              "malformed XML at byte 18446744073709551615: x");
}

TEST(ReadError, KindsAreDistinguishable) {
    ReadError error(ReadError::UnknownEntity{"x", 3});
    ASSERT_NE(error.get<ReadError::UnknownEntity>(), nullptr);
    EXPECT_EQ(error.get<ReadError::UnknownEntity>()->position, 3u);
    EXPECT_EQ(error.get<ReadError::Malformed>(), nullptr);
}

}  // namespace
}  // namespace plovane
