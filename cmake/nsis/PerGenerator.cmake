# Read by CPack once for each generator it runs (CPACK_PROJECT_CONFIG_FILE):
# the installer is named apart from the zip beside it.
if(CPACK_GENERATOR MATCHES "^NSIS")
    set(CPACK_PACKAGE_FILE_NAME folder2pdf-${CPACK_PACKAGE_VERSION}-win64-setup)
endif()
