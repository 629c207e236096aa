# Fails unless the Windows program PROGRAM imports only DLLs that come with
# Windows itself: everything else (the C++ runtime, winpthread, zlib,
# libpng...) must be linked in.
#
#   cmake -DOBJDUMP=... -DPROGRAM=... -P SystemDllsOnly.cmake
cmake_minimum_required(VERSION 3.25)
set(windows_dlls advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
    ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll ws2_32.dll)
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${import}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST windows_dlls AND NOT dll MATCHES "^api-ms-win-")
        message(FATAL_ERROR "${PROGRAM} needs ${dll}, which Windows does not have")
    endif()
endforeach()
message("${PROGRAM}: ${imports}")
