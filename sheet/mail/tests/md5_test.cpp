// Tests of our MD5: the test suite of RFC 1321 (appendix A.5), the APOP example of RFC 1939,
// lengths on either side of the padding's block boundary, bytes above 127, and a message
// fed in uneven pieces giving the same digest as fed whole.
#include "sheet/mail/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace velo::mail {
namespace {

TEST(Md5Test, Rfc1321TestSuite) {
    EXPECT_EQ(CMd5::HexDigest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(CMd5::HexDigest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(CMd5::HexDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CMd5::HexDigest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(CMd5::HexDigest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(CMd5::HexDigest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(CMd5::HexDigest("1234567890123456789012345678901234567890123456789012345678901234"
                              "5678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, ApopExampleOfThePop3Standard) {
    EXPECT_EQ(CMd5::HexDigest("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
              "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Md5Test, LengthsAroundThePaddingBoundary) {
    // 55 bytes still take the length in the same block, 56 need a second one.
    const std::pair<std::size_t, const char*> cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"}, {1000000, "7707d6ae4e027c70eea2a935c2296f21"}};
    for (const auto& [length, digest] : cases)
        EXPECT_EQ(CMd5::HexDigest(std::string(length, 'a')), digest) << length << " bytes";
}

TEST(Md5Test, EveryByteValueAndPiecewiseFeedingAgree) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    EXPECT_EQ(CMd5::HexDigest(all), "e2c865db4162bed963bfaa9ef6ac18f0");

    CMd5 md5;
    for (std::size_t at = 0, piece = 1; at < all.size(); at += piece, piece = piece * 2 + 1)
        md5.Update(std::string_view(all).substr(at, piece));
    const CMd5::Digest piecewise = md5.Finish();
    md5.Update(all);
    EXPECT_EQ(md5.Finish(), piecewise);  // Finish also starts the object afresh
}

}  // namespace
}  // namespace velo::mail
