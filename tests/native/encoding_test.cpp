#include <gtest/gtest.h>

#include <cstring>

// Texts are CP932 at run time: a half-width katakana is one byte, a kanji two.
TEST(Encoding, JapaneseLiteralIsCp932) {
    const char* error = "ｴﾗｰ 002:[";
    EXPECT_EQ(std::strlen(error), 9u);
    EXPECT_EQ(static_cast<unsigned char>(error[0]), 0xB4);
    EXPECT_EQ(static_cast<unsigned char>(error[1]), 0xD7);
    EXPECT_EQ(static_cast<unsigned char>(error[2]), 0xB0);
    const char* kanji = "確認";
    ASSERT_EQ(std::strlen(kanji), 4u);
    EXPECT_EQ(static_cast<unsigned char>(kanji[0]), 0x8A);
    EXPECT_EQ(static_cast<unsigned char>(kanji[1]), 0x6D);
}
