// GoogleTest's port customisation in the Windows build, found before its own
// (empty) one: its Notification, over charset/threads.h, since the -win32
// thread model compilers have no std::mutex to build it on.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#include "charset/threads.h"

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  void Notify() {
    CLockHold hold(m_lock);
    m_notified = true;
    m_condition.WakeAll();
  }
  void WaitForNotification() {
    CLockHold hold(m_lock);
    while (!m_notified) m_condition.Wait(hold, 1000);
  }

 private:
  CLock m_lock;
  CCondition m_condition;
  bool m_notified = false;
};

}  // namespace testing::internal

#endif
