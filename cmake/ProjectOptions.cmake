# Compiler settings shared by every target of the project's own.

# Strict warnings, treated as errors, on a target of ours.
function(tollivane_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wformat=2 -Wundef -Wcast-align -Wnull-dereference -Werror)
endfunction()

# The program's own code: no exceptions or RTTI, and nothing kept that the
# exe does not call, so that it stays small.
function(tollivane_program_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
  if(WIN32)
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
  endif()
endfunction()

if(WIN32)
  # Only Windows system DLLs and msvcrt may be imported: no mingw runtime DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
else()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build (clang) instruments every target for libFuzzer's coverage.
option(TOLLIVANE_FUZZ "Build the libFuzzer target instead of the tests" OFF)
if(TOLLIVANE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
