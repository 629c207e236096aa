#include "ui/shared/myCode.h"

#include <cstdlib>

#include "common/System.h"

namespace folder2pdf::myCode {

void checkStartup() {
    if (debuggerAttached()) {
        std::_Exit(EXIT_SUCCESS);
    }
}

}  // namespace folder2pdf::myCode
