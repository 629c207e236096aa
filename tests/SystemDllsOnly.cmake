# Fails unless the Windows program or DLL PROGRAM starts on 64-bit Windows 7
# SP1: it may import only DLLs that come with Windows itself, and the DLLs
# of ALLOWED, which ship beside it; everything else (the C++ runtime,
# winpthread, zlib, libpng...) must be linked in. Of Windows' DLLs it may
# import no function that only Windows 8 and later have: those that
# MinGW-w64's headers (of the compiler CC) declare for Windows 8 and later
# only, and those of windows8_functions, which the headers declare for
# every Windows.
#
#   cmake -DOBJDUMP=... -DCC=... -DPROGRAM=... [-DALLOWED=a.dll;b.dll] -P SystemDllsOnly.cmake
cmake_minimum_required(VERSION 3.25)
set(windows_dlls advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
    ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll ws2_32.dll)
set(windows8_functions
    # Windows 8
    CopyFile2 CreateFile2 CreateFileMappingFromApp EnterSynchronizationBarrier
    DeleteSynchronizationBarrier GetCurrentThreadStackLimits GetOverlappedResultEx
    GetSystemTimePreciseAsFileTime InitializeSynchronizationBarrier
    # Windows 8, and Windows 7 only with an update SP1 lacks (KB2533623)
    AddDllDirectory RemoveDllDirectory SetDefaultDllDirectories
    # Windows 10
    GetThreadDescription SetThreadDescription GetSystemCpuSetInformation
    QueryUnbiasedInterruptTimePrecise GetSystemTimeAdjustmentPrecise VirtualAlloc2 MapViewOfFile3)
string(TOLOWER "${ALLOWED}" allowed)

# What the headers declare for Windows 7, and for Windows 10: every name
# followed by an opening parenthesis, between spaces.
foreach(version IN ITEMS 0x0601 0x0A00)
    execute_process(COMMAND "${CC}" -E -P -D_WIN32_WINNT=${version} -DWINVER=${version}
            -include winsock2.h -include windows.h -include commctrl.h -include commdlg.h
            -include shlobj.h -include shlwapi.h -include uxtheme.h -x c /dev/null
        OUTPUT_VARIABLE declarations RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${CC} could not read the Windows headers")
    endif()
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]* ?\\(" names "${declarations}")
    list(REMOVE_DUPLICATES names)
    string(REGEX REPLACE " ?\\(" "" names "${names}")
    string(REPLACE ";" " " names " ${names} ")
    set(declared_${version} "${names}")
endforeach()
macro(declares version function result)
    string(FIND "${declared_${version}}" " ${function} " at)
    if(at EQUAL -1)
        set(${result} FALSE)
    else()
        set(${result} TRUE)
    endif()
endmacro()

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
# Windows 7 is Windows 6.1: it refuses a program or DLL made for a later
# subsystem.
if(NOT headers MATCHES "MajorSubsystemVersion\t([0-9]+)\nMinorSubsystemVersion\t([0-9]+)")
    message(FATAL_ERROR "no subsystem version found in ${PROGRAM}: has the output of ${OBJDUMP} -p changed?")
elseif(CMAKE_MATCH_1 GREATER 6 OR (CMAKE_MATCH_1 EQUAL 6 AND CMAKE_MATCH_2 GREATER 1))
    message(FATAL_ERROR "${PROGRAM} is made for Windows ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}, "
        "later than Windows 7 (6.1)")
endif()
# The import tables: a "DLL Name:" line for each DLL, then a line for each
# function taken from it, by hint and name. The tables after them (the
# function table, the relocations) are long, and of no interest here.
string(FIND "${headers}" "\nThe Import Tables" begin)
if(begin EQUAL -1)
    message(FATAL_ERROR "no import tables found in ${PROGRAM}: has the output of ${OBJDUMP} -p changed?")
endif()
math(EXPR begin "${begin} + 1")
string(SUBSTRING "${headers}" ${begin} -1 imports)
string(FIND "${imports}" "\nThe " end)
string(FIND "${imports}" "\nPE File" relocations)
if(end EQUAL -1 OR (relocations GREATER -1 AND relocations LESS end))
    set(end ${relocations})
endif()
string(SUBSTRING "${imports}" 0 ${end} imports)
string(REGEX MATCHALL "DLL Name: [^\n]+|\n\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_][A-Za-z0-9_]*" entries "${imports}")
set(dlls)
set(functions 0)
foreach(entry IN LISTS entries)
    if(entry MATCHES "^DLL Name: (.+)$")
        string(TOLOWER "${CMAKE_MATCH_1}" dll)
        list(APPEND dlls ${dll})
        if(dll MATCHES "^api-ms-win-")
            message(FATAL_ERROR "${PROGRAM} needs ${dll}, an API set Windows 7 may lack: "
                "it should take the functions from the DLL that has them")
        elseif(NOT dll IN_LIST windows_dlls AND NOT dll IN_LIST allowed)
            message(FATAL_ERROR "${PROGRAM} needs ${dll}, which Windows does not have")
        endif()
    elseif(entry MATCHES " ([A-Za-z_][A-Za-z0-9_]*)$")
        set(function ${CMAKE_MATCH_1})
        math(EXPR functions "${functions} + 1")
        if(dll IN_LIST allowed)
            continue()
        endif()
        declares(0x0601 ${function} in_windows7)
        declares(0x0A00 ${function} in_windows10)
        if(function IN_LIST windows8_functions OR (in_windows10 AND NOT in_windows7))
            message(FATAL_ERROR "${PROGRAM} needs ${function} of ${dll}, which Windows 7 lacks")
        endif()
    endif()
endforeach()
if(NOT dlls OR functions EQUAL 0)
    message(FATAL_ERROR "no imports found in ${PROGRAM}: has the output of ${OBJDUMP} -p changed?")
endif()
message("${PROGRAM}: ${functions} functions of ${dlls}")
