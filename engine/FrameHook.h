// Frame-hook plug-ins: loading them (once per process), configuring one hook per "vhook" option,
// and running a task's hooks over its decoded pictures. AddFrameHook and ReleaseFrameHooks run
// where options are applied and tasks released; RunFrameHooks on the task's worker thread.
#pragma once

#define VELTO_FRAMEHOOK_HOST
#include "velto_framehook.h"

#include <cstddef>
#include <cstdint>

namespace velto {

// One configured plug-in instance; a task keeps the head of a singly linked list of them.
struct TFrameHook {
    TFrameHook* next;
    VeltoConfigureFunc Configure;
    VeltoProcessFunc Process;
    VeltoReleaseFunc Release;
    void* context;
};

constexpr int kMaxFrameHookArguments = VELTO_FRAMEHOOK_MAX_ARGS;

// Loads argv[0] (once per process; paths match regardless of letter case), configures a new hook
// with all arguments and appends it to *head. Returns 0, or -2 (no arguments, no "Process", or
// arguments without "Configure"), -1 (library cannot be loaded), -7 (more than
// kMaxFrameHookArguments arguments), -12 (no memory), -22 ("Configure" refused).
int AddFrameHook(TFrameHook** head, int argc, const char* const argv[]);

// Calls "Process" of every hook from first on, in list order.
void RunFrameHooks(TFrameHook* first, VeltoPicture* picture, int pixelFormat, int width, int height,
                   std::int64_t pts);

// Calls "Release" of every hook that has one, frees the records and empties the list.
void ReleaseFrameHooks(TFrameHook** head);

// Number of plug-in libraries loaded by this process so far.
std::size_t FrameHookLibraryCount();

} // namespace velto
