# The download for Windows: folder2pdf-<version>-win64.zip holding the two
# programs and a short read-me in Chinese and English, nothing to install.
#
#   cmake --build build-windows --target package
install(FILES ${PROJECT_SOURCE_DIR}/app/resources/README-windows.txt
    DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME README.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME folder2pdf)
set(CPACK_PACKAGE_FILE_NAME folder2pdf-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Debug information stays in the build tree: the programs shrink to a fifth.
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
