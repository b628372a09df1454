// The stand-in ODS library: what SQL Server gives an extended procedure,
// for running the procedure without SQL Server.
//
// A host (xpexec, or a test) opens a call, adds the parameters as the
// server would pass them, hands the SRV_PROC to the procedure, and then
// reads back the tokens the procedure sent, in order. The srv_* functions
// (declared by <srv.h>) answer as SQL Server does: srv_paramnumber is 0 for
// a name that was not passed, srv_paramname is "" for a value passed
// without a name, srv_paraminfo reports type, maximum and actual length,
// copies the data when given a buffer, and a NULL has actual length 0.
// As the server's reference describes, asking srv_paramnumber for a name
// that was not passed, or srv_paramname or srv_paraminfo for a position
// that does not exist, also sends an informational message
// (STANDIN_NOTICE_NUMBER) to the client: a procedure that asks such
// questions shows it in its tokens.
// A parameter passed as OUTPUT has SRV_PARAMRETURN in srv_paramstatus and
// its declared maximum length in srv_paraminfo; srv_paramsetoutput sets
// its value, which the host reads back after the call. Setting a
// parameter that is not OUTPUT, or a value longer than its maximum,
// fails with a notice as well: a procedure must cut what it returns.
//
// srv_got_attention answers as the server does for a client that has given
// up on the call: FALSE until the host raises the attention
// (standin_raise_attention), TRUE from then on.
//
// The call's login (srv_pfield with SRV_USER) is "sa" unless the host sets
// another. A result set is described column by column (srv_describe), its
// values pointed at (srv_setcoldata, srv_setcollen: a length of 0 is NULL)
// and sent a row at a time (srv_sendrow): each row becomes one token with
// a copy of its columns' names, types and bytes; srv_senddone ends the
// set, and a describe after it starts the next.
//
// A call belongs to the thread that opened it; distinct calls share nothing,
// so several threads may run calls at once. Only standin_raise_attention
// may come from another thread, while the call runs.
#ifndef MAILVANE_HOST_ODS_STANDIN_H
#define MAILVANE_HOST_ODS_STANDIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(MAILVANE_BUILDING_STANDIN)
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API __declspec(dllimport)
#endif
#else
#define STANDIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct CXPData;

// Parameter type codes the stand-in reports (the SQL Server TDS codes).
enum {
  STANDIN_TYPE_VARCHAR = 0xA7,   // varchar: bytes as given
  STANDIN_TYPE_NVARCHAR = 0xE7,  // nvarchar: UTF-16LE bytes
  STANDIN_TYPE_INT = 0x38,       // int: 4 bytes, little-endian
  STANDIN_TYPE_TEXT = 0x23,      // text: bytes as given
  STANDIN_TYPE_NTEXT = 0x63      // ntext: UTF-16LE bytes
};

enum { STANDIN_TOKEN_MESSAGE = 1, STANDIN_TOKEN_DONE = 2, STANDIN_TOKEN_ROW = 3 };

// The number of the message a question about a missing parameter sends.
enum { STANDIN_NOTICE_NUMBER = 20099 };

// The maximum length srv_paraminfo reports for a (max) type.
#define STANDIN_UNLIMITED_LENGTH 0xFFFFFFFFu

// One column of a row the procedure sent.
struct StandinColumn {
  const char *name;     // the column's name (not NUL-terminated)
  size_t name_length;
  int type;             // the SQL type code it was described with
  const char *data;     // its value's bytes (nvarchar: UTF-16LE)
  size_t length;        // 0 with is_null set for NULL
  int is_null;
};

// One token the procedure sent, copied at the time it was sent.
struct StandinToken {
  int kind;             // STANDIN_TOKEN_MESSAGE or STANDIN_TOKEN_DONE
  int msgtype;          // message: srv_sendmsg's type
  int32_t number;       // message: message number
  int msgclass;         // message: class (severity)
  int state;            // message: state
  int line;             // message: line number
  const char *text;     // message: the text bytes (not NUL-terminated)
  size_t text_length;   // message: number of bytes in text
  int status;           // done: status bits
  int curcmd;           // done: current command
  int32_t count;        // done: row count
  size_t column_count;  // row: number of columns
  const struct StandinColumn *columns;  // row: the columns, in order
};

// Opens a call with no parameters; null when memory runs out.
STANDIN_API struct CXPData *standin_open(void);

// Adds a parameter. name is "" (or null) for a value passed without a name.
// data may be null when length is 0; is_null marks SQL NULL (length 0).
// Returns 1, or 0 when memory runs out.
STANDIN_API int standin_add_param(struct CXPData *call, const char *name,
                                  int type, const void *data, size_t length,
                                  int is_null);

// Adds a parameter passed as OUTPUT: a variable of type `type` that holds
// at most max_length bytes (STANDIN_UNLIMITED_LENGTH for a (max) type),
// passed in as NULL. Returns 1, or 0 when memory runs out.
STANDIN_API int standin_add_output_param(struct CXPData *call, const char *name,
                                         int type, uint32_t max_length);

// The value parameter n (from 1) holds now: as added, or as the procedure
// set it with srv_paramsetoutput. *data stays valid until the parameter
// is set again or the call is closed. Returns 0 when there is no
// parameter n.
STANDIN_API int standin_param_value(const struct CXPData *call, int n,
                                    const char **data, size_t *length,
                                    int *is_null);

// The same with the maximum length srv_paraminfo reports for it (a
// literal's own length when 0; STANDIN_UNLIMITED_LENGTH for a value
// of varchar(max) or nvarchar(max)).
STANDIN_API int standin_add_param_sized(struct CXPData *call, const char *name,
                                        int type, uint32_t max_length,
                                        const void *data, size_t length,
                                        int is_null);

// Sets the login srv_pfield(SRV_USER) answers. Returns 1, or 0 when
// memory runs out.
STANDIN_API int standin_set_login(struct CXPData *call, const char *login);

STANDIN_API size_t standin_token_count(const struct CXPData *call);
// The i-th token; null when i is out of range. Valid until standin_close.
STANDIN_API const struct StandinToken *standin_token(const struct CXPData *call,
                                                     size_t i);

// Marks the call as given up by its client, as a Cancel or KILL does; from
// any thread.
STANDIN_API void standin_raise_attention(struct CXPData *call);

STANDIN_API void standin_close(struct CXPData *call);

#ifdef __cplusplus
}
#endif

#endif
