// Included first in every unit of the driver's internals (not in the exports' own unit).
// The library exports functions named "open" and "close"; without this, the linker would bind
// the internals' calls to the C library's open() and close() (made by Boost.Asio for ports and
// sockets) to those exports. Each reference is pinned to the C library's versioned symbol.
#pragma once
#if defined(__linux__) && __has_include(<features.h>)
#  include <features.h>  // defines __GLIBC__
#endif
#if defined(__linux__) && defined(__GLIBC__)
#  if defined(__x86_64__)
__asm__(".symver open,open@GLIBC_2.2.5");
__asm__(".symver close,close@GLIBC_2.2.5");
#  elif defined(__aarch64__)
__asm__(".symver open,open@GLIBC_2.17");
__asm__(".symver close,close@GLIBC_2.17");
#  elif defined(__i386__)
__asm__(".symver open,open@GLIBC_2.0");
__asm__(".symver close,close@GLIBC_2.0");
#  else
#    error "Pin open() and close() to the C library's symbol version for this architecture"
#  endif
#endif
