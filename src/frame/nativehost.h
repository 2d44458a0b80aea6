#pragma once
// The host of the system the program was built for, for the programs' entry points.
#ifdef _WIN32
#include "frame/win32host.h"
namespace qelp {
using NativeHost = Win32Host;
}
#else
#include "frame/posixhost.h"
namespace qelp {
using NativeHost = PosixHost;
}
#endif
