// Reader error messages stay text when the names in them were cut at a
// byte count: they keep whole characters only.
#include <gtest/gtest.h>

#include <string>

#include "read/read_error.h"

namespace plovane {
namespace {

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

}  // namespace
}  // namespace plovane
