#include "proc/com_guard.h"

CComGuard::CComGuard() = default;
CComGuard::~CComGuard() = default;
