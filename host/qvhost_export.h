// Visibility of the host layer's public API.
//
// The host layer is built as its own shared library so that the expression
// library, its tools and its tests all see one copy of every process-wide
// registry (custom types, server mode, assertion handler).
#pragma once

#if defined(QVHOST_BUILDING)
#define QVHOST_API __attribute__((visibility("default")))
#else
#define QVHOST_API
#endif
