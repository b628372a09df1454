// COM for a call: the multithreaded apartment, undone when the call ends;
// a thread in a single-threaded apartment keeps it, and its COM stays.
#include "proc/com_guard.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include "charset/threads.h"

// The calling thread's apartment; APTTYPE_CURRENT without COM.
static APTTYPE Apartment() {
  APTTYPE type = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier;
  return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) ? type : APTTYPE_CURRENT;
}

TEST(ComGuard, CallRunsInTheMultithreadedApartmentOrTheThreadsOwn) {
  for (bool singleThreaded : {false, true}) {
    APTTYPE before, during, after;  // an STA is the main STA as the first in the process
    CThread thread;
    ASSERT_TRUE(thread.Start([&] {
      if (singleThreaded) CoInitialize(nullptr);
      before = Apartment();
      {
        CComGuard com;
        during = Apartment();
      }
      after = Apartment();
      if (singleThreaded) CoUninitialize();
    }));
    thread.Join();
    EXPECT_EQ(during, singleThreaded ? before : APTTYPE_MTA) << singleThreaded;
    EXPECT_EQ(after, before) << singleThreaded;
  }
}
