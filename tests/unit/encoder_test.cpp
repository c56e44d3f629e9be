// Base64 text, the size rule and what a too-small destination is told.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Encoder.h"

namespace {

const unsigned char kUntouched = 0xA5;

struct Encoded {
    int result;
    int32_t dlen;
    std::vector<unsigned char> dst;
};

Encoded encode(const std::vector<unsigned char>& src, int32_t capacity, size_t bufferSize) {
    Encoded e{0, capacity, std::vector<unsigned char>(bufferSize, kUntouched)};
    e.result = base64_encode(e.dst.data(), &e.dlen, src.data(), static_cast<int32_t>(src.size()));
    return e;
}

std::vector<unsigned char> bytesOf(const char* text) { return {text, text + strlen(text)}; }

bool untouched(const std::vector<unsigned char>& buffer) {
    for (unsigned char c : buffer)
        if (c != kUntouched) return false;
    return true;
}

}  // namespace

TEST(Base64Encode, TestVectorsOfTheStandard) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        const size_t n = strlen(c.out);
        const Encoded e = encode(bytesOf(c.in), static_cast<int32_t>(n + 1), n + 4);
        ASSERT_EQ(e.result, 0) << c.in;
        EXPECT_EQ(e.dlen, static_cast<int32_t>(n)) << c.in;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.dst.data())), c.out) << c.in;
        EXPECT_EQ(e.dst[n + 1], kUntouched) << "written past the NUL for " << c.in;
    }
}

TEST(Base64Encode, EverySixBitValueMapsToItsLetterOfTheAlphabet) {
    // 48 bytes that hold the 6-bit values 0, 1, ..., 63 one after the other.
    std::vector<unsigned char> src;
    for (unsigned v = 0; v < 64; v += 4)
        src.insert(src.end(), {static_cast<unsigned char>(v << 2 | (v + 1) >> 4),
                               static_cast<unsigned char>((v + 1) << 4 | (v + 2) >> 2),
                               static_cast<unsigned char>((v + 2) << 6 | (v + 3))});
    const Encoded e = encode(src, 65, 65);
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.dst.data())),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64Encode, ACapacityBelowTextAndNulIsRefusedWithTheSizeNeeded) {
    // "foob" needs 8 characters and the NUL.
    const struct {
        int32_t capacity;
        int result;
        int32_t dlenAfter;
    } cases[] = {{9, 0, 8}, {100, 0, 8}, {8, -1, 9}, {0, -1, 9}, {-1, -1, 9}, {INT32_MIN, -1, 9}};
    for (const auto& c : cases) {
        const Encoded e = encode(bytesOf("foob"), c.capacity, 16);
        EXPECT_EQ(e.result, c.result) << "capacity " << c.capacity;
        EXPECT_EQ(e.dlen, c.dlenAfter) << "capacity " << c.capacity;
        if (c.result != 0) {
            EXPECT_TRUE(untouched(e.dst)) << "capacity " << c.capacity;
        }
    }
}

TEST(Base64Encode, AnEmptySourceDoesNothingWhateverTheCapacity) {
    for (const int32_t capacity : {0, -5, 100}) {
        unsigned char dst[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        int32_t dlen = capacity;
        EXPECT_EQ(base64_encode(dst, &dlen, reinterpret_cast<const unsigned char*>("x"), 0), 0);
        EXPECT_EQ(dlen, capacity);
        EXPECT_EQ(dst[0], kUntouched);
    }
}

TEST(Base64Encode, NegativeSourceLengthIsRefusedAndChangesNothing) {
    unsigned char dst[8] = {kUntouched};
    int32_t dlen = 8;
    EXPECT_EQ(base64_encode(dst, &dlen, reinterpret_cast<const unsigned char*>("abc"), -3), -1);
    EXPECT_EQ(dlen, 8);
    EXPECT_EQ(dst[0], kUntouched);
}

TEST(Base64Encode, TheWebPackageBufferHoldsAtMost460797Bytes) {
    const int32_t capacity = 614400;
    const std::vector<unsigned char> largest(460797, 0xFF);
    Encoded e = encode(largest, capacity, capacity);
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(e.dlen, 614396);
    EXPECT_EQ(e.dst[614396], '\0');
    EXPECT_EQ(e.dst[614395], '/');

    const std::vector<unsigned char> tooLong(460798, 0xFF);
    e = encode(tooLong, capacity, capacity);
    EXPECT_EQ(e.result, -1);
    EXPECT_EQ(e.dlen, 614401);
    EXPECT_TRUE(untouched(e.dst));
}
