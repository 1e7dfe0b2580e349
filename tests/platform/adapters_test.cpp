#include "platform/adapters.h"

#include <gtest/gtest.h>

#include <regex>

TEST(MacText, FormatsSixUpperCaseBytesJoinedByDashes) {
  const uint8_t full[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  EXPECT_EQ(FormatMacAddress(full, 6), "00-1A-2B-3C-4D-5E");
  // A shorter hardware address still shows six pairs.
  const uint8_t shortAddr[] = {0xAB, 0xCD};
  EXPECT_EQ(FormatMacAddress(shortAddr, 2), "AB-CD-00-00-00-00");
  // A longer one (e.g. InfiniBand) shows its first six bytes.
  const uint8_t longAddr[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(FormatMacAddress(longAddr, 8), "01-02-03-04-05-06");
}

TEST(MacText, ErrorTextEndsInABlank) {
  EXPECT_EQ(FormatMacError(232), "Error : 232 ");
  EXPECT_EQ(FormatMacError(111), "Error : 111 ");
}

TEST(MacText, ThisHostGivesAnAddressOrTheNoAdapterText) {
  const std::string text = GetMacText();
  EXPECT_TRUE(std::regex_match(text, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}")) || text == "Error : 232 ")
      << text;
}
