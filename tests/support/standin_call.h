// A procedure call through the stand-in ODS library, for tests of the
// request driver: add parameters as SQL Server passes them, run the driver,
// read back the tokens.
#ifndef MAILVANE_TESTS_SUPPORT_STANDIN_CALL_H
#define MAILVANE_TESTS_SUPPORT_STANDIN_CALL_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/ods_standin.h"

class CStandinCall {
 public:
  CStandinCall();
  ~CStandinCall();
  CStandinCall(const CStandinCall &) = delete;
  CStandinCall &operator=(const CStandinCall &) = delete;

  CStandinCall &Varchar(const char *name, const std::string &value);
  CStandinCall &NVarchar(const char *name, const std::u16string &value);
  CStandinCall &Int(const char *name, std::int32_t value);
  CStandinCall &Null(const char *name);
  // A variable passed as OUTPUT, of at most maxLength bytes.
  CStandinCall &Output(const char *name, int type, std::uint32_t maxLength);
  // The value parameter n (from 1) holds after the call; "NULL" for none.
  std::string Value(int n) const;

  CXPData *Proc() const { return m_call; }
  std::vector<StandinToken> Tokens() const;
  // The only message's text; fails the test when there is not exactly one.
  std::string MessageText() const;

 private:
  CXPData *m_call;
};

#endif
