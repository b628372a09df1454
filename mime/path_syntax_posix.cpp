#include "mime/path_syntax.h"

const CPathSyntax &PlatformPathSyntax() { return kPosixPathSyntax; }
