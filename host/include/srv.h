/*
 * Open Data Services declarations for builds without the Windows SDK.
 *
 * On Windows the procedure compiles against the platform's own <srv.h>; on
 * other systems this header declares the same functions, types and constants
 * with the same widths (ULONG and DBINT are 32 bits, as on Windows), so the
 * procedure source is one for both. The functions themselves come from the
 * stand-in ODS library of host/.
 */
#ifndef MAILVANE_HOST_SRV_H
#define MAILVANE_HOST_SRV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char BYTE;
typedef uint16_t USHORT;
typedef uint32_t ULONG;
typedef int32_t DBINT;
typedef int BOOL;
typedef int WINBOOL;
typedef int SRVRETCODE;

#define SUCCEED 1
#define FAIL 0

#define SRV_NULLTERM -1

#define SRV_MSG_INFO 1
#define SRV_MSG_ERROR 2

#define SRV_DONE_FINAL ((USHORT)0x0000)
#define SRV_DONE_MORE ((USHORT)0x0001)
#define SRV_DONE_ERROR ((USHORT)0x0002)
#define SRV_DONE_COUNT ((USHORT)0x0010)

/* srv_paramstatus: the parameter was passed as OUTPUT. */
#define SRV_PARAMRETURN 0x0001
/* The fields of srv_pfield: the login of the connection. */
#define SRV_USER 16

/* SQL type codes reported by srv_paraminfo. */
#define SRVINTN ((BYTE)0x26)
#define SRVVARCHAR ((BYTE)0x27)
#define SRVCHAR ((BYTE)0x2f)
#define SRVINT1 ((BYTE)0x30)
#define SRVINT2 ((BYTE)0x34)
#define SRVINT4 ((BYTE)0x38)
#define SRVTEXT ((BYTE)0x23)
#define SRVNTEXT ((BYTE)0x63)
#define SRVINT8 ((BYTE)0x7f)
#define SRVBIGVARCHAR ((BYTE)0xA7)
#define SRVBIGCHAR ((BYTE)0xAF)
#define SRVNVARCHAR ((BYTE)0xe7)
#define SRVNCHAR ((BYTE)0xef)

struct CXPData;
typedef struct CXPData SRV_PROC;

int srv_rpcparams(SRV_PROC *srvproc);
int srv_paramnumber(SRV_PROC *srvproc, char *name, int namelen);
char *srv_paramname(SRV_PROC *srvproc, int n, int *len);
int srv_paraminfo(SRV_PROC *srvproc, int n, BYTE *pbType, ULONG *pcbMaxLen,
                  ULONG *pcbActualLen, BYTE *pbData, WINBOOL *pfNull);
int srv_sendmsg(SRV_PROC *srvproc, int msgtype, DBINT msgnum, BYTE msgclass,
                BYTE state, char *rpcname, int rpcnamelen, USHORT linenum,
                char *message, int msglen);
int srv_senddone(SRV_PROC *srvproc, USHORT status, USHORT curcmd, DBINT count);
int srv_paramstatus(SRV_PROC *srvproc, int n);
int srv_paramsetoutput(SRV_PROC *srvproc, int n, BYTE *data, ULONG len, WINBOOL isnull);
/* TRUE once the client has given up on the call (an attention). */
WINBOOL srv_got_attention(SRV_PROC *srvproc);
char *srv_pfield(SRV_PROC *srvproc, int field, int *len);
int srv_describe(SRV_PROC *srvproc, int colnumber, char *column_name, int namelen,
                 DBINT desttype, DBINT destlen, DBINT srctype, DBINT srclen,
                 void *srcdata);
int srv_setcoldata(SRV_PROC *srvproc, int column, void *data);
int srv_setcollen(SRV_PROC *srvproc, int column, int len);
int srv_sendrow(SRV_PROC *srvproc);

#ifdef __cplusplus
}
#endif

#endif
