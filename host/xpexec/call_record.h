// What one procedure call left behind: the tokens it sent, in order, and
// the value it returned. Each record owns copies of its tokens, taken
// from the stand-in before the call was closed.
#ifndef MAILVANE_HOST_XPEXEC_CALL_RECORD_H
#define MAILVANE_HOST_XPEXEC_CALL_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

namespace xpexec {

// One column of a row: its name, SQL type code and value bytes.
struct ReceivedColumn {
  std::string name;
  int type = 0;
  std::string data;
  bool is_null = false;
};

struct ReceivedToken {
  int kind = 0;  // STANDIN_TOKEN_MESSAGE, STANDIN_TOKEN_DONE or STANDIN_TOKEN_ROW
  // message
  int msgtype = 0;
  int32_t number = 0;
  int msgclass = 0;
  int state = 0;
  int line = 0;
  std::string text;
  // done
  int status = 0;
  int curcmd = 0;
  int32_t count = 0;
  // row
  std::vector<ReceivedColumn> columns;
};

struct CallRecord {
  std::vector<ReceivedToken> tokens;
  int return_value = 0;
};

}  // namespace xpexec

#endif
