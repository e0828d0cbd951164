// Rendering of every reader error kind.
#include <gtest/gtest.h>

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
