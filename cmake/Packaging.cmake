# The Windows download, Tollivane-<version>-win32.zip: the 32-bit exe, the
# default settings, the printer's setup with its port monitor and its IPP
# printer's service for both architectures (x64\ and x86\: the monitor must match the spooler's), the
# setup script that picks the right one, the Ghostscript job script for the
# alternative route, and a short README.
include(ExternalProject)

# The 64-bit monitor, setup and service, from the same sources, built inside this
# build so that one `cmake --build --preset win32` makes the whole zip.
set(TOLLIVANE_X64_DIR ${CMAKE_BINARY_DIR}/x64)
ExternalProject_Add(x64_printer
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${TOLLIVANE_X64_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake
             -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${TOLLIVANE_X64_DIR} --target TollivanePort TollivaneSetup TollivaneService
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)

set(package_files Kestrin.ini README.txt setup.cmd tollivane-print.cmd)
list(TRANSFORM package_files PREPEND ${PROJECT_SOURCE_DIR}/cmake/package/)
install(FILES ${package_files} DESTINATION .)
install(FILES $<TARGET_FILE:TollivanePort> $<TARGET_FILE:TollivaneSetup> $<TARGET_FILE:TollivaneService> DESTINATION x86)
install(FILES ${TOLLIVANE_X64_DIR}/TollivanePort.dll ${TOLLIVANE_X64_DIR}/TollivaneSetup.exe
              ${TOLLIVANE_X64_DIR}/TollivaneService.exe DESTINATION x64)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tollivane)
set(CPACK_PACKAGE_VENDOR "Tollivane")
set(CPACK_PACKAGE_FILE_NAME "Tollivane-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(TOLLIVANE_PACKAGE_ZIP ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
include(CPack)
