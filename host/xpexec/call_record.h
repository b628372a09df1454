// What one procedure call left behind: the tokens it sent, in order, the
// value it returned, and the values of its OUTPUT variables. Each record
// owns copies of its tokens and values, taken from the stand-in before the
// call was closed.
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

// A variable passed as OUTPUT, with the value it holds after the call.
struct ReturnedValue {
  std::string variable;  // with its '@'
  int type = 0;          // STANDIN_TYPE_*
  std::string data;
  bool is_null = true;
};

struct CallRecord {
  std::vector<ReceivedToken> tokens;
  int return_value = 0;
  std::vector<ReturnedValue> outputs{};  // in the order of the arguments
  // --cancel-after: the attention was raised after_ms after the call
  // started, and the procedure returned returned_ms after that.
  bool attention = false;
  long long attention_after_ms = 0;
  long long returned_ms = 0;
};

}  // namespace xpexec

#endif
