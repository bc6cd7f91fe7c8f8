// What the log shows of texts from stations and clients: nothing that can
// steer a terminal or split a record, and valid UTF-8 throughout.
#include "BridgeLog.h"

#include <gtest/gtest.h>

using bridge::printable;

TEST(BridgeLog, ControlCharactersAreShownAsEscapes)
{
    EXPECT_EQ(printable("a\nb\r\tc\x1b[2J\x7f"), "a\\nb\\r\\tc\\x1b[2J\\x7f");
    // The C1 controls (U+009B is a terminal's CSI) as the C0 ones.
    EXPECT_EQ(printable("id\xc2\x9b" "31m\xc2\x80\xc2\x9f"), "id\\x9b31m\\x80\\x9f");
    // Characters beside them pass: U+00A0, the degree sign, a euro sign.
    EXPECT_EQ(printable("\xc2\xa0\xc2\xb0\xe2\x82\xac"), "\xc2\xa0\xc2\xb0\xe2\x82\xac");
}

TEST(BridgeLog, BytesThatAreNoUtf8BecomeReplacementCharacters)
{
    const std::string replacement = "\xef\xbf\xbd";
    EXPECT_EQ(printable("21\xf8" "C"), "21" + replacement + "C");
    EXPECT_EQ(printable("\xc0\xaf"), replacement + replacement);  // overlong
    EXPECT_EQ(printable("\xed\xa0\x80"), replacement + replacement + replacement);  // a surrogate
    EXPECT_EQ(printable("\xe2\x82" "a"), replacement + "a");  // cut short: one character
    EXPECT_EQ(printable("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80");
}

TEST(BridgeLog, CutIsNeverInsideACharacterOrAnEscape)
{
    EXPECT_EQ(printable("abcdef", 3), "abc...");
    EXPECT_EQ(printable("ab\xe2\x82\xac" "de", 3), "ab\xe2\x82\xac...");
    EXPECT_EQ(printable("ab\xc2\x9b" "de", 3), "ab\\x9b...");
    EXPECT_EQ(printable("abc", 3), "abc");
}
