// C-runtime style helpers the engine binds at run time from LibAV/libmyutil.so.
// Each function behaves like the C library function of the same name without the prefix.
#ifndef VELTO_MYUTIL_H
#define VELTO_MYUTIL_H

#include <stdarg.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

int my_vsprintf(char* buffer, const char* format, va_list args);
int my_fprintf(FILE* stream, const char* format, ...);
int my_snprintf(char* buffer, size_t size, const char* format, ...);
FILE* my_fopen(const char* path, const char* mode);
long my_ftell(FILE* stream);
size_t my_fread(void* buffer, size_t size, size_t count, FILE* stream);
size_t my_fwrite(const void* buffer, size_t size, size_t count, FILE* stream);
int my_fseek(FILE* stream, long offset, int origin);
int my_fclose(FILE* stream);
char* my_strtok(char* text, const char* delimiters);
long my_strtol(const char* text, char** end, int base);
double my_strtod(const char* text, char** end);

#ifdef __cplusplus
}
#endif

#endif
