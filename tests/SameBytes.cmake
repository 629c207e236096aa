# Checks that the Windows program writes, byte for byte, the documents the
# program built for this machine writes: for every test picture that has a
# decoded reference (tests/data/*/*.pgm) and the examples in one document,
# and for the examples in a folder with a Chinese name; the pictures also
# in colour and under a size limit.
#
#   cmake -DWINDOWS_EXE=... -DEMULATOR=<program run before it, ";"-list>
#         -DREFERENCE_EXE=... -DSOURCE_DIR=... -DWORK=... -P SameBytes.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT EXISTS "${REFERENCE_EXE}")
    message("reference program missing: ${REFERENCE_EXE} (build the default preset first)")
    return()
endif()

file(GLOB references "${SOURCE_DIR}/tests/data/*/*.pgm")
set(pictures)
foreach(reference IN LISTS references)
    string(REGEX REPLACE "\\.pgm$" "" stem "${reference}")
    file(GLOB picture "${stem}.*")
    list(FILTER picture EXCLUDE REGEX "\\.pgm$")
    list(APPEND pictures ${picture})
endforeach()
# The examples as the program lists them: not examples/examples.pdf, which
# the README's first command writes there.
execute_process(COMMAND "${REFERENCE_EXE}" --list "${SOURCE_DIR}/examples"
    RESULT_VARIABLE status OUTPUT_VARIABLE names)
string(REGEX REPLACE "\n$" "" names "${names}")
string(REPLACE "\n" ";" names "${names}")
if(NOT status EQUAL 0 OR names STREQUAL "")
    message(FATAL_ERROR "cannot list ${SOURCE_DIR}/examples (${status})")
endif()
list(TRANSFORM names PREPEND "${SOURCE_DIR}/examples/" OUTPUT_VARIABLE examples)
list(APPEND pictures ${examples})

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/windows" "${WORK}/reference")

function(convert)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}\nfailed (${status}): ${out}${err}")
    endif()
endfunction()

function(expect_same windows reference)
    file(SHA256 "${windows}" windows_sum)
    file(SHA256 "${reference}" reference_sum)
    if(NOT windows_sum STREQUAL reference_sum)
        message(FATAL_ERROR "${windows} differs from ${reference}")
    endif()
endfunction()

convert(${EMULATOR} "${WINDOWS_EXE}" -o "${WORK}/windows/all.pdf" ${pictures})
convert("${REFERENCE_EXE}" -o "${WORK}/reference/all.pdf" ${pictures})
expect_same("${WORK}/windows/all.pdf" "${WORK}/reference/all.pdf")

# The colour pages and a size-limited document, whose search must choose the same.
foreach(mode IN ITEMS color max-size)
    set(options --color)
    if(mode STREQUAL "max-size")
        set(options --max-size 100KB)
    endif()
    convert(${EMULATOR} "${WINDOWS_EXE}" ${options} -o "${WORK}/windows/${mode}.pdf" ${pictures})
    convert("${REFERENCE_EXE}" ${options} -o "${WORK}/reference/${mode}.pdf" ${pictures})
    expect_same("${WORK}/windows/${mode}.pdf" "${WORK}/reference/${mode}.pdf")
endforeach()

file(COPY ${examples} DESTINATION "${WORK}/样张")
convert(${EMULATOR} "${WINDOWS_EXE}" "${WORK}/样张")
file(RENAME "${WORK}/样张/样张.pdf" "${WORK}/windows/样张.pdf")
convert("${REFERENCE_EXE}" "${WORK}/样张")
expect_same("${WORK}/windows/样张.pdf" "${WORK}/样张/样张.pdf")
list(LENGTH pictures count)
message("same bytes for ${count} pictures and the folder 样张")
