# Checks that the Windows program, run under Wine on the root of a drive
# (a letter mapped in the Wine prefix to a folder here), names the
# document after the drive's letter: "Y:\" and "Y:" give Y:\Y.pdf.
#
#   cmake -DWINDOWS_EXE=... -DEMULATOR=<wine-run.sh;PREFIX> -DSOURCE_DIR=...
#         -DWORK=... -P DriveRoot.cmake
cmake_minimum_required(VERSION 3.25)
list(GET EMULATOR 1 prefix)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY "${SOURCE_DIR}/examples/01-gradient.png" DESTINATION "${WORK}")
# The first run makes the prefix, and with it the folder of drive letters.
execute_process(COMMAND ${EMULATOR} "${WINDOWS_EXE}" --version OUTPUT_QUIET)
set(drive "${prefix}/dosdevices/y:")
file(REMOVE "${drive}")
file(CREATE_LINK "${WORK}" "${drive}" SYMBOLIC)
foreach(root IN ITEMS "Y:\\" "Y:")
    file(REMOVE "${WORK}/Y.pdf")
    execute_process(COMMAND ${EMULATOR} "${WINDOWS_EXE}" "${root}"
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE "\r" "" out "${out}")
    if(NOT status EQUAL 0 OR NOT out STREQUAL "Y:\\Y.pdf\n" OR NOT EXISTS "${WORK}/Y.pdf")
        file(REMOVE "${drive}")
        message(FATAL_ERROR "folder2pdf ${root}: status ${status}, printed '${out}' ${err}")
    endif()
endforeach()
file(REMOVE "${drive}")
message("Y:\\ and Y: give Y:\\Y.pdf")
