# The DLLs the Windows programs load: libheif and libde265, which are under
# the LGPL and so come as DLLs that a user may replace, built by
# tools/windows-deps.sh into the prefix the toolchain file names. Each
# imports only Windows' own DLLs and the other (tests/SystemDllsOnly.cmake
# checks). They go beside the programs: in the zip and the installer (which
# removes them again), and in the build tree beside every program, so that
# the programs and tests started there, under Wine, find them.
#
# FOLDER2PDF_WINDOWS_DLLS: their paths in the prefix.
# folder2pdf_windows_dlls_beside_programs(): called once every program is
# defined, copies them beside each.
set(FOLDER2PDF_WINDOWS_DLLS)
foreach(dll IN ITEMS libheif.dll libde265.dll)
    set(path ${FOLDER2PDF_WINDOWS_DEPS}/bin/${dll})
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "${path} missing: tools/windows-deps.sh builds it")
    endif()
    list(APPEND FOLDER2PDF_WINDOWS_DLLS ${path})
endforeach()
install(FILES ${FOLDER2PDF_WINDOWS_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

function(folder2pdf_executables directory result)
    get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
    set(found)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            list(APPEND found ${target})
        endif()
    endforeach()
    foreach(subdirectory IN LISTS subdirectories)
        folder2pdf_executables(${subdirectory} more)
        list(APPEND found ${more})
    endforeach()
    set(${result} ${found} PARENT_SCOPE)
endfunction()

# One copy in each folder that holds programs, made by one target that
# every program depends on, so that two programs built at once never
# write the same copy.
function(folder2pdf_windows_dlls_beside_programs)
    folder2pdf_executables(${PROJECT_SOURCE_DIR} programs)
    set(folders)
    foreach(program IN LISTS programs)
        get_target_property(folder ${program} RUNTIME_OUTPUT_DIRECTORY)
        if(NOT folder)
            get_target_property(folder ${program} BINARY_DIR)
        endif()
        list(APPEND folders ${folder})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    set(copies)
    foreach(folder IN LISTS folders)
        foreach(dll IN LISTS FOLDER2PDF_WINDOWS_DLLS)
            get_filename_component(name ${dll} NAME)
            add_custom_command(OUTPUT ${folder}/${name}
                COMMAND ${CMAKE_COMMAND} -E copy ${dll} ${folder}/${name}
                DEPENDS ${dll} VERBATIM)
            list(APPEND copies ${folder}/${name})
        endforeach()
    endforeach()
    add_custom_target(windows_dlls ALL DEPENDS ${copies})
    foreach(program IN LISTS programs)
        add_dependencies(${program} windows_dlls)
    endforeach()
endfunction()
