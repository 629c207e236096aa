# Packages made by CPack from what `cmake --install` puts in place.
#
# Linux: a Debian package, built from a configured and built tree by
#   cmake --workflow --preset deb
# which leaves build/folder2pdf_<version>_amd64.deb.
#
# Windows: folder2pdf-<version>-win64.zip, the two programs with the DLLs
# beside them (cmake/WindowsDlls.cmake) and a short read-me in Chinese and
# English at its top, the libraries' licence notices in licenses/, nothing
# to install:
#   cmake --build build-windows --target package
# The same target makes folder2pdf-<version>-win64-setup.exe, the installer.

set(CPACK_PACKAGE_NAME folder2pdf)
set(CPACK_PACKAGE_VENDOR "The folder2pdf developers")
set(CPACK_PACKAGE_CONTACT "The folder2pdf developers <folder2pdf@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a folder of pictures into one PDF")
set(CPACK_PACKAGE_DESCRIPTION
    "folder2pdf writes one PDF document with a page for each picture (BMP, GIF, JPEG
or PNG) of a folder, in natural order, or of pictures named on the command
line. Every page is exactly as large in points as its picture is in pixels,
the picture stored as an 8-bit gray image compressed with Flate.

The package holds the command line folder2pdf and the window folder2pdf-gui,
which speaks Simplified Chinese.")
# Binaries built with debug information still go out without it.
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Library dependencies come from the binaries themselves.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The window's Chinese needs a font that has it, and Qt's own dialogs
    # speak Chinese only with Qt's translations; both work without.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")

    # Debian wants the copyright and a compressed changelog beside every
    # package's documentation.
    set(debian ${PROJECT_SOURCE_DIR}/cmake/debian)
    configure_file(${debian}/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
    find_program(FOLDER2PDF_GZIP gzip REQUIRED)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
        COMMAND ${FOLDER2PDF_GZIP} -9nc ${CMAKE_BINARY_DIR}/debian/changelog
            > ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog)
    add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
    install(FILES ${debian}/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# A copy of the text file `from` with Windows line ends, for Notepad.
function(folder2pdf_crlf_copy from to)
    file(READ ${from} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${to} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${from})
endfunction()

# The licence notices of the libraries linked into the Windows programs, in
# licenses/ of the zip: Debian's copyright files of the same source
# packages the libraries are built from (tools/windows-deps.sh), taken
# from this machine as they are, with Windows line ends.
function(folder2pdf_license_notices)
    # Each library, then the packages that may hold its copyright, "|" between.
    set(notices zlib libz-mingw-w64-dev|zlib1g libpng libpng-dev|libpng16-16
        libjpeg-turbo libjpeg62-turbo-dev|libjpeg62-turbo giflib libgif-dev|libgif7)
    while(notices)
        list(POP_FRONT notices library packages)
        string(REPLACE "|" ";" packages "${packages}")
        unset(found)
        foreach(package IN LISTS packages)
            if(NOT found AND EXISTS /usr/share/doc/${package}/copyright)
                set(found /usr/share/doc/${package}/copyright)
            endif()
        endforeach()
        if(NOT found)
            message(WARNING "no copyright file of ${library} in /usr/share/doc (${packages}): "
                "the zip goes without its licence notice")
            continue()
        endif()
        folder2pdf_crlf_copy(${found} ${CMAKE_BINARY_DIR}/licenses/${library}.txt)
        install(FILES ${CMAKE_BINARY_DIR}/licenses/${library}.txt
            DESTINATION ${CMAKE_INSTALL_BINDIR}/licenses)
    endwhile()
    # Those of the libraries this machine has no copyright file of: their
    # licence files, which tools/windows-deps.sh takes from their source
    # packages into the prefix.
    if(NOT FOLDER2PDF_WINDOWS_DEPS)
        return()
    endif()
    foreach(library IN ITEMS libtiff libwebp libheif libde265 dav1d)
        set(text ${FOLDER2PDF_WINDOWS_DEPS}/share/licenses/${library}.txt)
        if(NOT EXISTS ${text})
            message(WARNING "no ${text} (tools/windows-deps.sh): the zip goes without its licence notice")
            continue()
        endif()
        folder2pdf_crlf_copy(${text} ${CMAKE_BINARY_DIR}/licenses/${library}.txt)
        install(FILES ${CMAKE_BINARY_DIR}/licenses/${library}.txt
            DESTINATION ${CMAKE_INSTALL_BINDIR}/licenses)
    endforeach()
endfunction()

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME folder2pdf-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
    folder2pdf_crlf_copy(${PROJECT_SOURCE_DIR}/app/resources/README-windows.txt
        ${CMAKE_BINARY_DIR}/README.txt)
    install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION ${CMAKE_INSTALL_BINDIR})
    folder2pdf_license_notices()
endif()

# Windows, besides the zip: folder2pdf-<version>-win64-setup.exe, a per-user
# installer with Explorer entries, made by makensis (Debian's nsis, which
# tools/windows-deps.sh installs) from cmake/nsis/NSIS.template.in. Without
# makensis the package target makes the zip alone.
if(WIN32)
    find_program(FOLDER2PDF_MAKENSIS makensis)
    if(FOLDER2PDF_MAKENSIS)
        list(APPEND CPACK_GENERATOR NSIS64)
        set(CPACK_NSIS_EXECUTABLE ${FOLDER2PDF_MAKENSIS})
        # A warning (an unknown name, a missing file) fails the package.
        set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -WX)
        set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
        set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/resources/folder2pdf-gui.ico)
        # The installer's own file name, set when CPack runs each generator.
        set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/nsis/PerGenerator.cmake)
    else()
        message(STATUS "makensis not found: the package target makes the zip only")
    endif()
endif()

include(CPack)
