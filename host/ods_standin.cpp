// The stand-in ODS library: parameters in, tokens out, one call per
// SRV_PROC. See ods_standin.h for the contract.
#include "ods_standin.h"

#include <srv.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <vector>

namespace {

struct Param {
  std::string name;   // "" for a value passed without a name
  BYTE type = 0;
  std::string data;   // the value's bytes
  // 0: the value's own length; else the declared one (a variable passed
  // as OUTPUT, a long type) in bytes.
  ULONG max_length = 0;
  bool is_null = false;
  bool output = false;      // passed as OUTPUT
};

struct Token {
  StandinToken view{};
  std::string text;
  // row: the columns' names and values; the views point into them.
  std::vector<std::string> storage;
  std::vector<StandinColumn> columns;
};

// A column of the result set being sent: as described, and where its
// value of the next row is.
struct Column {
  std::string name;
  int type = 0;
  const void *data = nullptr;
  int length = 0;
};

// Who the call's client is when the host says nothing.
constexpr char kDefaultLogin[] = "sa";

// What srv_pfield answers for a field the stand-in does not keep.
char kNoField[] = "";

// Parameter names compare as SQL Server compares identifiers under its
// usual case-insensitive collation: ASCII letters without regard to case.
bool SameName(const std::string &a, const char *b, size_t b_length) {
  if (a.size() != b_length) return false;
  for (size_t i = 0; i < b_length; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

struct CXPData {
  std::vector<Param> params;
  std::deque<Token> tokens;  // a deque keeps the views' addresses stable
  std::atomic<bool> attention{false};  // raised by the host, from any thread
  std::vector<Column> columns;  // the result set being sent
  std::string login = kDefaultLogin;
  // Parameter n; null, with the notice the server sends, when the call has
  // none at n.
  Param *Listed(int n, const char *function);
};

namespace {

// The informational message the server sends for a question about a
// parameter the call does not have: type SRV_MSG_INFO, class 0, with the
// text text() makes. Without memory for it, the answer stands alone.
template <typename Text>
void Notice(CXPData *call, Text text) {
  try {
    std::string line = text();
    srv_sendmsg(call, SRV_MSG_INFO, STANDIN_NOTICE_NUMBER, 0, 1, nullptr, 0, 0,
                const_cast<char *>(line.c_str()), SRV_NULLTERM);
  } catch (...) {
  }
}

}  // namespace

Param *CXPData::Listed(int n, const char *function) {
  if (n >= 1 && static_cast<size_t>(n) <= params.size()) return &params[static_cast<size_t>(n) - 1];
  Notice(this, [&] {
    return std::string(function) + ": no parameter " + std::to_string(n) + " (the call has " +
           std::to_string(params.size()) + ")";
  });
  return nullptr;
}

extern "C" {

STANDIN_API CXPData *standin_open(void) { return new (std::nothrow) CXPData(); }

STANDIN_API int standin_add_param(CXPData *call, const char *name, int type,
                                  const void *data, size_t length, int is_null) {
  return standin_add_param_sized(call, name, type, 0, data, length, is_null);
}

STANDIN_API int standin_add_param_sized(CXPData *call, const char *name, int type,
                                        uint32_t max_length, const void *data, size_t length,
                                        int is_null) {
  if (call == nullptr) return 0;
  try {
    Param p;
    p.name = name != nullptr ? name : "";
    p.type = static_cast<BYTE>(type);
    p.max_length = max_length;
    p.is_null = is_null != 0;
    if (!p.is_null && data != nullptr)
      p.data.assign(static_cast<const char *>(data), length);
    call->params.push_back(std::move(p));
    return 1;
  } catch (...) {
    return 0;
  }
}

STANDIN_API int standin_add_output_param(CXPData *call, const char *name, int type,
                                         uint32_t max_length) {
  if (standin_add_param(call, name, type, nullptr, 0, 1) == 0) return 0;
  call->params.back().output = true;
  call->params.back().max_length = max_length;
  return 1;
}

STANDIN_API int standin_param_value(const CXPData *call, int n, const char **data,
                                    size_t *length, int *is_null) {
  if (call == nullptr || n < 1 || static_cast<size_t>(n) > call->params.size()) return 0;
  const Param &p = call->params[static_cast<size_t>(n) - 1];
  *data = p.data.data();
  *length = p.data.size();
  *is_null = p.is_null ? 1 : 0;
  return 1;
}

STANDIN_API int standin_set_login(CXPData *call, const char *login) {
  if (call == nullptr || login == nullptr) return 0;
  try {
    call->login = login;
    return 1;
  } catch (...) {
    return 0;
  }
}

STANDIN_API size_t standin_token_count(const CXPData *call) {
  return call != nullptr ? call->tokens.size() : 0;
}

STANDIN_API const StandinToken *standin_token(const CXPData *call, size_t i) {
  if (call == nullptr || i >= call->tokens.size()) return nullptr;
  return &call->tokens[i].view;
}

STANDIN_API void standin_raise_attention(CXPData *call) {
  if (call != nullptr) call->attention.store(true);
}

STANDIN_API void standin_close(CXPData *call) { delete call; }

int srv_rpcparams(SRV_PROC *srvproc) {
  return srvproc != nullptr ? static_cast<int>(srvproc->params.size()) : 0;
}

int srv_paramnumber(SRV_PROC *srvproc, char *name, int namelen) {
  if (srvproc == nullptr || name == nullptr) return 0;
  size_t length = namelen == SRV_NULLTERM ? std::strlen(name) : static_cast<size_t>(namelen);
  if (length != 0)
    for (size_t i = 0; i < srvproc->params.size(); ++i)
      if (SameName(srvproc->params[i].name, name, length)) return static_cast<int>(i + 1);
  Notice(srvproc, [&] {
    return "srv_paramnumber: no parameter named '" + std::string(name, length) + "'";
  });
  return 0;
}

char *srv_paramname(SRV_PROC *srvproc, int n, int *len) {
  const Param *p = srvproc != nullptr ? srvproc->Listed(n, "srv_paramname") : nullptr;
  if (p == nullptr) {
    if (len != nullptr) *len = -1;
    return nullptr;
  }
  if (len != nullptr) *len = static_cast<int>(p->name.size());
  return const_cast<char *>(p->name.c_str());
}

int srv_paraminfo(SRV_PROC *srvproc, int n, BYTE *pbType, ULONG *pcbMaxLen,
                  ULONG *pcbActualLen, BYTE *pbData, WINBOOL *pfNull) {
  const Param *p = srvproc != nullptr ? srvproc->Listed(n, "srv_paraminfo") : nullptr;
  if (p == nullptr) return FAIL;
  ULONG actual = p->is_null ? 0 : static_cast<ULONG>(p->data.size());
  // A literal's declared length is its own length, as the server types it;
  // a variable's, or a long type's, is its declaration's.
  ULONG maximum = p->max_length != 0 ? p->max_length : actual > 0 ? actual : 1;
  if (pbType != nullptr) *pbType = p->type;
  if (pcbMaxLen != nullptr) *pcbMaxLen = maximum;
  if (pcbActualLen != nullptr) *pcbActualLen = actual;
  if (pfNull != nullptr) *pfNull = p->is_null ? 1 : 0;
  if (pbData != nullptr && actual > 0) std::memcpy(pbData, p->data.data(), actual);
  return SUCCEED;
}

int srv_paramstatus(SRV_PROC *srvproc, int n) {
  const Param *p = srvproc != nullptr ? srvproc->Listed(n, "srv_paramstatus") : nullptr;
  if (p == nullptr) return -1;
  return p->output ? SRV_PARAMRETURN : 0;
}

int srv_paramsetoutput(SRV_PROC *srvproc, int n, BYTE *data, ULONG len, WINBOOL isnull) {
  Param *p = srvproc != nullptr ? srvproc->Listed(n, "srv_paramsetoutput") : nullptr;
  if (p == nullptr) return FAIL;
  const ULONG length = isnull ? 0 : len;
  if (!p->output || length > p->max_length || (length > 0 && data == nullptr)) {
    Notice(srvproc, [&] {
      return "srv_paramsetoutput: parameter " + std::to_string(n) +
             (p->output ? " holds at most " + std::to_string(p->max_length) + " bytes, not " +
                              std::to_string(length)
                        : std::string(" is not OUTPUT"));
    });
    return FAIL;
  }
  try {
    if (length > 0)
      p->data.assign(reinterpret_cast<const char *>(data), length);
    else
      p->data.clear();
  } catch (...) {
    return FAIL;
  }
  p->is_null = isnull != 0;
  return SUCCEED;
}

int srv_sendmsg(SRV_PROC *srvproc, int msgtype, DBINT msgnum, BYTE msgclass,
                BYTE state, char *rpcname, int rpcnamelen, USHORT linenum,
                char *message, int msglen) {
  if (srvproc == nullptr) return FAIL;
  try {
    Token t;
    if (message != nullptr)
      t.text.assign(message, msglen == SRV_NULLTERM ? std::strlen(message)
                                                    : static_cast<size_t>(msglen));
    srvproc->tokens.push_back(std::move(t));
    Token &stored = srvproc->tokens.back();
    stored.view.kind = STANDIN_TOKEN_MESSAGE;
    stored.view.msgtype = msgtype;
    stored.view.number = msgnum;
    stored.view.msgclass = msgclass;
    stored.view.state = state;
    stored.view.line = linenum;
    stored.view.text = stored.text.data();
    stored.view.text_length = stored.text.size();
    return SUCCEED;
  } catch (...) {
    return FAIL;
  }
}

WINBOOL srv_got_attention(SRV_PROC *srvproc) {
  return srvproc != nullptr && srvproc->attention.load() ? 1 : 0;
}

int srv_senddone(SRV_PROC *srvproc, USHORT status, USHORT curcmd, DBINT count) {
  if (srvproc == nullptr) return FAIL;
  try {
    srvproc->tokens.emplace_back();
    Token &stored = srvproc->tokens.back();
    stored.view.kind = STANDIN_TOKEN_DONE;
    stored.view.status = status;
    stored.view.curcmd = curcmd;
    stored.view.count = count;
    stored.view.text = "";
    // The result set, if any, ends here.
    srvproc->columns.clear();
    return SUCCEED;
  } catch (...) {
    return FAIL;
  }
}

char *srv_pfield(SRV_PROC *srvproc, int field, int *len) {
  char *value = kNoField;
  if (srvproc != nullptr && field == SRV_USER) value = const_cast<char *>(srvproc->login.c_str());
  if (len != nullptr) *len = static_cast<int>(std::strlen(value));
  return value;
}

// Columns are described in order, from 1; the number of the column, or 0.
int srv_describe(SRV_PROC *srvproc, int colnumber, char *column_name, int namelen,
                 DBINT desttype, DBINT destlen, DBINT srctype, DBINT srclen, void *srcdata) {
  if (srvproc == nullptr || colnumber != static_cast<int>(srvproc->columns.size()) + 1) return 0;
  try {
    Column c;
    if (column_name != nullptr)
      c.name.assign(column_name, namelen == SRV_NULLTERM ? std::strlen(column_name)
                                                         : static_cast<size_t>(namelen));
    c.type = desttype;
    c.data = srcdata;
    c.length = srclen;
    srvproc->columns.push_back(std::move(c));
    return colnumber;
  } catch (...) {
    return 0;
  }
}

int srv_setcoldata(SRV_PROC *srvproc, int column, void *data) {
  if (srvproc == nullptr || column < 1 || static_cast<size_t>(column) > srvproc->columns.size())
    return FAIL;
  srvproc->columns[static_cast<size_t>(column) - 1].data = data;
  return SUCCEED;
}

int srv_setcollen(SRV_PROC *srvproc, int column, int len) {
  if (srvproc == nullptr || column < 1 || static_cast<size_t>(column) > srvproc->columns.size() ||
      len < 0)
    return FAIL;
  srvproc->columns[static_cast<size_t>(column) - 1].length = len;
  return SUCCEED;
}

int srv_sendrow(SRV_PROC *srvproc) {
  if (srvproc == nullptr || srvproc->columns.empty()) return FAIL;
  try {
    srvproc->tokens.emplace_back();
    Token &stored = srvproc->tokens.back();
    const std::vector<Column> &columns = srvproc->columns;
    // Every string first, then the views: a vector that grows moves them.
    for (const Column &c : columns) {
      stored.storage.push_back(c.name);
      const bool is_null = c.data == nullptr || c.length <= 0;
      stored.storage.push_back(is_null ? std::string()
                                       : std::string(static_cast<const char *>(c.data),
                                                     static_cast<size_t>(c.length)));
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string &name = stored.storage[2 * i];
      const std::string &data = stored.storage[2 * i + 1];
      const bool is_null = columns[i].data == nullptr || columns[i].length <= 0;
      stored.columns.push_back(StandinColumn{name.data(), name.size(), columns[i].type,
                                             data.data(), data.size(), is_null ? 1 : 0});
    }
    stored.view.kind = STANDIN_TOKEN_ROW;
    stored.view.text = "";
    stored.view.column_count = stored.columns.size();
    stored.view.columns = stored.columns.data();
    return SUCCEED;
  } catch (...) {
    if (!srvproc->tokens.empty() && srvproc->tokens.back().view.kind == 0)
      srvproc->tokens.pop_back();
    return FAIL;
  }
}

}  // extern "C"
