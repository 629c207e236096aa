# Runs the window's start test with a drive of its own, as Explorer's verb
# gives a drive's root ("P:\"): the letter p: mapped in the Wine prefix to
# an empty folder here, named to the test by FOLDER2PDF_DRIVE_ROOT.
#
#   cmake -DTESTS_EXE=... -DEMULATOR=<wine-run.sh;PREFIX> -DWORK=... -P Win32StartOnDriveRoot.cmake
cmake_minimum_required(VERSION 3.25)
list(GET EMULATOR 1 prefix)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
# The first run makes the prefix, and with it the folder of drive letters.
execute_process(COMMAND ${EMULATOR} "${TESTS_EXE}" --gtest_list_tests OUTPUT_QUIET)
set(drive "${prefix}/dosdevices/p:")
file(REMOVE "${drive}")
file(CREATE_LINK "${WORK}" "${drive}" SYMBOLIC)
execute_process(COMMAND ${CMAKE_COMMAND} -E env FOLDER2PDF_DRIVE_ROOT=P:
        ${EMULATOR} "${TESTS_EXE}" --gtest_filter=Win32Start.*
    RESULT_VARIABLE status)
file(REMOVE "${drive}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the window's starts on P:\\ failed: status ${status}")
endif()
