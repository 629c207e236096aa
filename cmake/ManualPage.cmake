# folder2pdf_manual_page(<source>.1.in [FILTER program]): fills in the
# version, passes the page through `program TEMPLATE OUTPUT` when given,
# compresses the page as Debian wants it (gzip -9, no name or time stamp, so
# two builds give the same bytes) and installs it in section 1.
function(folder2pdf_manual_page source)
    cmake_parse_arguments(PARSE_ARGV 1 page "" "FILTER" "")
    if(NOT (UNIX AND NOT APPLE))
        return()
    endif()
    find_program(FOLDER2PDF_GZIP gzip REQUIRED)
    get_filename_component(page ${source} NAME_WLE)
    set(filled ${CMAKE_CURRENT_BINARY_DIR}/${page})
    if(page_FILTER)
        configure_file(${source} ${filled}.in @ONLY)
        add_custom_command(OUTPUT ${filled}
            COMMAND ${page_FILTER} ${filled}.in ${filled}
            DEPENDS ${filled}.in ${page_FILTER})
    else()
        configure_file(${source} ${filled} @ONLY)
    endif()
    add_custom_command(OUTPUT ${filled}.gz
        COMMAND ${FOLDER2PDF_GZIP} -9nc ${filled} > ${filled}.gz
        DEPENDS ${filled})
    add_custom_target(manual_${page} ALL DEPENDS ${filled}.gz)
    install(FILES ${filled}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
