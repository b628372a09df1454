// The C++ runtime's exception records as proc/exception_abi.h lays them
// out, checked against the runtime the tests run on.
#include "proc/exception_abi.h"

#include <cxxabi.h>

#include <gtest/gtest.h>

TEST(ExceptionAbi, RecordsLieWhereTheRuntimeKeepsThem) {
  struct CThrown {
    char bytes[40];
  };
  auto *globals = reinterpret_cast<CEhGlobals *>(abi::__cxa_get_globals());
  try {
    throw CThrown{};
  } catch (const CThrown &caught) {
    const CCxaException *record = globals->caughtExceptions;
    ASSERT_NE(record, nullptr);
    const auto *header = reinterpret_cast<const CCxaRefcountedException *>(
        reinterpret_cast<const char *>(record) - offsetof(CCxaRefcountedException, exc));
    // The object right behind its header, as the DLL's allocation puts it.
    EXPECT_EQ(static_cast<const void *>(header + 1), static_cast<const void *>(&caught));
    EXPECT_EQ(header->referenceCount, 1);
    EXPECT_EQ(record->handlerCount, 1);
    EXPECT_EQ(globals->uncaughtExceptions, 0u);
  }
  EXPECT_EQ(globals->caughtExceptions, nullptr);
}
