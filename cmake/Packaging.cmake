# The Windows download: the 32-bit exe, a settings file holding the defaults
# and a short README, as Tollivane-<version>-win32.zip.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/Kestrin.ini ${PROJECT_SOURCE_DIR}/cmake/package/README.txt
  DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tollivane)
set(CPACK_PACKAGE_VENDOR "Tollivane")
set(CPACK_PACKAGE_FILE_NAME "Tollivane-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(TOLLIVANE_PACKAGE_ZIP ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
include(CPack)
