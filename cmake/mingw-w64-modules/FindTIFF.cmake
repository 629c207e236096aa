# find_package(TIFF) of the Windows build: CMake's own module, and then what
# the prefix's static libtiff was built with (tools/windows-deps.sh: zlib
# and libjpeg-turbo), which a program that links it needs as well.
include(${CMAKE_ROOT}/Modules/FindTIFF.cmake)
if(TIFF_FOUND)
    find_package(ZLIB REQUIRED)
    find_package(JPEG REQUIRED)
    set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB JPEG::JPEG)
    list(APPEND TIFF_LIBRARIES ${JPEG_LIBRARIES} ${ZLIB_LIBRARIES})
endif()
