# The Windows download: the 32-bit exe, a settings file holding the defaults,
# the print-job and setup scripts and a short README, as
# Tollivane-<version>-win32.zip.
set(package_files Kestrin.ini README.txt setup.cmd tollivane-print.cmd)
list(TRANSFORM package_files PREPEND ${PROJECT_SOURCE_DIR}/cmake/package/)
install(FILES ${package_files} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tollivane)
set(CPACK_PACKAGE_VENDOR "Tollivane")
set(CPACK_PACKAGE_FILE_NAME "Tollivane-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(TOLLIVANE_PACKAGE_ZIP ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
include(CPack)
