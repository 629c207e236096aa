#pragma once

namespace folder2pdf::myCode {

// The start-up check: ends the program at once, without a message, when a
// debugger is attached to the process (debuggerAttached()). Returns otherwise.
void checkStartup();

}  // namespace folder2pdf::myCode
