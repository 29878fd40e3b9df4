// SPDX-License-Identifier: MIT
#pragma once

// The handlers that turn a fatal failure into a crash record: std::set_terminate for uncaught C++
// exceptions, and one signal handler, on an alternate stack so that a stack overflow is caught
// too, for SIGABRT, SIGSEGV, SIGILL, SIGBUS, SIGFPE and SIGTRAP. After writing, the process
// still ends with the signal's default action, so the system records the crash as well.
// CrashRecordWriter must be prepared first.
namespace FatalHandlers {
void install();
} // namespace FatalHandlers
