#include <gtest/gtest.h>

#include "mail/error_codes.h"
#include "mail/last_error.h"

namespace {

TEST(ErrorCodes, HResultFormOfPlatformErrors) {
  struct Row {
    std::int32_t error;
    std::uint32_t code;
  } rows[] = {
      {0, 0},
      {2, 0x80070002u},
      {0x12345, 0x80072345u},   // only the low 16 bits are kept
      {-5, 0xFFFFFFFBu},        // 0 or below passes through
  };
  for (const Row &row : rows)
    EXPECT_EQ(static_cast<std::uint32_t>(HResultFromError(row.error)), row.code) << row.error;
}

TEST(ErrorCodes, LastErrorOfTheThread) {
  SetThreadLastError(2);
  EXPECT_EQ(static_cast<std::uint32_t>(HResultFromLastError()), 0x80070002u);
  EXPECT_EQ(static_cast<std::uint32_t>(HResultOfFailure()), 0x80070002u);
}

TEST(ErrorCodes, FailureWithoutPlatformErrorIsStillAFailure) {
  SetThreadLastError(0);
  EXPECT_EQ(HResultFromLastError(), S_OK);
  EXPECT_EQ(HResultOfFailure(), E_FAIL);
}

}  // namespace
