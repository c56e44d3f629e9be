// Hex digits, byte fields, the in-place split and the line-end replacement.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "StdoutCapture.h"
#include "StringOperations.h"

namespace {

std::vector<std::string> tokensOf(char** list) {
    std::vector<std::string> tokens;
    for (char** entry = list; *entry; ++entry) tokens.emplace_back(*entry);
    return tokens;
}

// Entries the list has room for, as the heap reports its block.
size_t capacityOf(char** list) { return malloc_usable_size(list) / sizeof(char*); }

}  // namespace

TEST(HexDigit, DigitsOfEitherCaseHaveTheirValueAndEverythingElseIsZero) {
    const struct {
        char c;
        int value;
    } cases[] = {{'0', 0},  {'9', 9},  {'A', 10}, {'F', 15}, {'a', 10},   {'f', 15},    {'G', 0},   {'g', 0},
                 {' ', 0},  {'\0', 0}, {'/', 0},  {':', 0},  {'@', 0},    {'`', 0},     {'\x80', 0}, {'\xff', 0}};
    for (const auto& c : cases) EXPECT_EQ(int_from_hex_char(c.c), c.value) << "character " << int(c.c);
}

TEST(HexDigit, ByteFieldReadsTwoDigitsOrTheLoneLastOne) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"7F", 127}, {"7f3", 127}, {"7", 7},      {"", 0},     {"G1", 1},
        {"1G", 16},  {"ff", 255},  {"00", 0},     {"A0", 160}, {"0A", 10},
    };
    for (const auto& c : cases) EXPECT_EQ(u8_from_hex_string(c.text), c.value) << '"' << c.text << '"';
}

TEST(HexDigit, FieldInsideALineReadsTwoDigitsAndOnlyTheLastCharacterStandsAlone) {
    const char line[] = ":10AB3";
    EXPECT_EQ(u8_from_hex_string(line + 1), 0x10);
    EXPECT_EQ(u8_from_hex_string(line + 3), 0xAB);
    EXPECT_EQ(u8_from_hex_string(line + 5), 3);
    EXPECT_EQ(u8_from_hex_string(line + 6), 0);
}

TEST(StrSplit, TokensPointIntoTheTextWhoseFirstSeparatorsBecomeNul) {
    char text[] = "::ab::cd:";
    char** list = str_split(text, ":");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(tokensOf(list), (std::vector<std::string>{"ab", "cd"}));
    EXPECT_EQ(list[0], text + 2);
    EXPECT_EQ(list[1], text + 6);
    EXPECT_EQ(list[2], nullptr);
    const char expected[] = {':', ':', 'a', 'b', '\0', ':', 'c', 'd', '\0'};
    EXPECT_EQ(std::string(text, 9), std::string(expected, 9));
    free(list);
}

TEST(StrSplit, AnyCharacterOfTheSetSeparatesAndNoTokenIsEmpty) {
    char text[] = ", a,,b ,c";
    char** list = str_split(text, ", ");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(tokensOf(list), (std::vector<std::string>{"a", "b", "c"}));
    free(list);
}

TEST(StrSplit, TextWithoutTokensGivesOnlyTheEndEntry) {
    for (const char* source : {"", ":", ":::::"}) {
        std::string text = source;
        char** list = str_split(&text[0], ":");
        ASSERT_NE(list, nullptr) << '"' << source << '"';
        EXPECT_EQ(list[0], nullptr) << '"' << source << '"';
        free(list);
    }
}

TEST(StrSplit, NullTextOrNullSeparatorsGiveNoList) {
    char text[] = "a:b";
    EXPECT_EQ(str_split(nullptr, ":"), nullptr);
    EXPECT_EQ(str_split(text, nullptr), nullptr);
    EXPECT_STREQ(text, "a:b");
}

TEST(StrSplit, CapacityDoublesBeforeItIsReachedAndAlwaysLeavesRoomForTheEnd) {
    // The heap may round a block up, but never to the next power of two. (One entry and
    // two share the heap's smallest block.)
    const struct {
        int tokens;
        size_t capacity;
    } cases[] = {{1, 2}, {2, 4}, {3, 4}, {4, 8}, {7, 8}, {8, 16}, {1000, 1024}};
    for (const auto& c : cases) {
        std::string text;
        for (int i = 0; i < c.tokens; ++i) text += ":x";
        char** list = str_split(&text[0], ":");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(tokensOf(list).size(), static_cast<size_t>(c.tokens));
        EXPECT_GE(capacityOf(list), c.capacity) << c.tokens << " tokens";
        EXPECT_LT(capacityOf(list), 2 * c.capacity) << c.tokens << " tokens";
        free(list);
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define KESTRANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRANE_ADDRESS_SANITIZER 1
#endif
#endif

TEST(StrSplitDeathTest, ListThatCannotGrowEndsTheProcessWithItsMessageAndANonZeroStatus) {
#ifdef KESTRANE_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
    const auto splitUnderALimit = [] {
        // Two million tokens need a list of 16 MiB; the limit leaves far less than that.
        std::string text;
        for (int i = 0; i < 2000000; ++i) text += "a:";
        long pages = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        if (!statm || fscanf(statm, "%ld", &pages) != 1) _exit(99);
        fclose(statm);
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4u << 20);
        const struct rlimit addressSpace = {limit, limit};
        if (setrlimit(RLIMIT_AS, &addressSpace) != 0) _exit(98);
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the death test reads what the child writes to stderr
        str_split(&text[0], ":");
        _exit(0);
    };
    EXPECT_EXIT(splitUnderALimit(), testing::ExitedWithCode(EXIT_OUT_OF_MEMORY), "^Memoire insuffisante\n$");
#endif
}

TEST(StrRemoveNL, EveryLineEndUpToTheOldTerminatorIsReplaced) {
    const struct {
        std::string text;
        char ch;
        std::string expected;  // all bytes up to the old terminator
    } cases[] = {
        {"AB\r\nCD\n", '\0', std::string("AB\0\0CD\0", 7)},
        {"AB\r\nCD\n", ' ', "AB  CD "},
        {"\n\r\n", '\0', std::string("\0\0\0", 3)},
        {"ABCD", '\0', "ABCD"},
        {"", ' ', ""},
        {"12\n34\r56", '-', "12-34-56"},
        {"\r\n\r\nAB", 'x', "xxxxAB"},
    };
    for (const auto& c : cases) {
        std::vector<char> buffer(c.text.begin(), c.text.end());
        buffer.push_back('\0');
        buffer.push_back('\n');  // beyond the terminator: must stay
        EXPECT_EQ(StrRemoveNL(buffer.data(), c.ch), TRUE);
        EXPECT_EQ(std::string(buffer.data(), c.text.size()), c.expected) << visible(c.text);
        EXPECT_EQ(buffer[c.text.size()], '\0');
        EXPECT_EQ(buffer[c.text.size() + 1], '\n');
    }
}
