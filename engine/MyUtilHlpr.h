// Run-time binding of the helper library libmyutil.so (C runtime functions). Call through
// MyUtilHlpr::name(...) only.
#pragma once

#include "BindingUnit.h"
#include "myutil.h"

// Table order is binding order; the first missing name is the one reported.
#define VELTO_MYUTIL_ENTRY_POINTS(X)                                                               \
    X(my_vsprintf)                                                                                 \
    X(my_fprintf)                                                                                  \
    X(my_snprintf)                                                                                 \
    X(my_fopen)                                                                                    \
    X(my_ftell)                                                                                    \
    X(my_fread)                                                                                    \
    X(my_fwrite)                                                                                   \
    X(my_fseek)                                                                                    \
    X(my_fclose)                                                                                   \
    X(my_strtok)                                                                                   \
    X(my_strtol)                                                                                   \
    X(my_strtod)

namespace MyUtilHlpr {
VELTO_DECLARE_BINDING_UNIT(VELTO_MYUTIL_ENTRY_POINTS)
} // namespace MyUtilHlpr
