#pragma once

#include <string_view>

namespace folder2pdf::myCode {

// The start-up check: ends the program at once, without a message, when a
// debugger is attached to the process. Returns otherwise.
void checkStartup();

// Whether a debugger is attached now (Linux: a tracer in /proc/self/status;
// Windows: IsDebuggerPresent; elsewhere never).
bool debuggerAttached();

// The tracer's process id from the text of /proc/<pid>/status: the number
// after "TracerPid:", 0 when the line is missing or unreadable.
long tracerPid(std::string_view statusText);

}  // namespace folder2pdf::myCode
