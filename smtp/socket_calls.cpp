#include "smtp/socket_calls.h"

#include "smtp/winsock_init.h"

bool CSocketCalls::StartSockets(int *error) { return TheWinsockInit().Startup(error); }
