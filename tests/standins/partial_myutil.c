/* A helper library that exports only its first entry point, to exercise the binding's refusal. */
#include <stdarg.h>
#include <stdio.h>

__attribute__((visibility("default"))) int my_vsprintf(char* buffer, const char* format,
                                                       va_list args) {
    return vsprintf(buffer, format, args);
}
