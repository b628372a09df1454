# Sanitizer and fuzzing builds, for clang on Linux.
#
#   -DMAILVANE_SANITIZE=address,undefined   ASan + UBSan (every finding fatal)
#   -DMAILVANE_SANITIZE=thread              TSan
#   -DMAILVANE_FUZZ=ON                      libFuzzer targets of tests/fuzz
#                                           (with address,undefined)
#
# The flags apply to every target: the core library, the procedure library,
# the stand-in ODS library, xpexec and the tests. The sanitizer runtime is
# linked into the executables only (clang's default), so the shared
# libraries keep their undefined references to it until xpexec or the test
# program loads them; hence no -z defs on them here.
#
# MAILVANE_SANITIZER_ENV: the runtime options the tests run with (a list of
# NAME=VALUE), every report fatal and written to MAILVANE_SANITIZER_LOGS.
set(MAILVANE_SANITIZE "" CACHE STRING "Sanitizers to build with (-fsanitize= list)")
option(MAILVANE_FUZZ "Build the libFuzzer targets (and only them)" OFF)

set(MAILVANE_NO_UNDEFINED -Wl,-z,defs)
set(MAILVANE_SANITIZER_ENV)
set(MAILVANE_SANITIZER_LOGS ${CMAKE_BINARY_DIR}/sanitizer-logs)
file(MAKE_DIRECTORY ${MAILVANE_SANITIZER_LOGS})

if(MAILVANE_FUZZ AND NOT MAILVANE_SANITIZE)
  set(MAILVANE_SANITIZE address,undefined CACHE STRING "" FORCE)
endif()

if(MAILVANE_SANITIZE)
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MAILVANE_SANITIZE needs clang on Linux "
                        "(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  set(sanitize_flags -fsanitize=${MAILVANE_SANITIZE} -fno-omit-frame-pointer)
  if(MAILVANE_SANITIZE MATCHES "undefined")
    # A finding stops the program, so no test passes over one.
    list(APPEND sanitize_flags -fno-sanitize-recover=all)
  endif()
  add_compile_options(${sanitize_flags})
  add_link_options(${sanitize_flags})
  set(MAILVANE_NO_UNDEFINED)

  # Reports go to a file per process as well as failing it: the test
  # command fails the tree when any report was written, whatever a test
  # made of the exit status.
  set(sanitizer_exit 86)  # no exit status xpexec or the tests use
  set(common "halt_on_error=1:exitcode=${sanitizer_exit}:log_path=${MAILVANE_SANITIZER_LOGS}/report")
  if(MAILVANE_SANITIZE MATCHES "address")
    list(APPEND MAILVANE_SANITIZER_ENV
         "ASAN_OPTIONS=${common}:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
         "LSAN_OPTIONS=exitcode=${sanitizer_exit}")
  endif()
  if(MAILVANE_SANITIZE MATCHES "undefined")
    list(APPEND MAILVANE_SANITIZER_ENV "UBSAN_OPTIONS=${common}:print_stacktrace=1")
  endif()
  if(MAILVANE_SANITIZE MATCHES "thread")
    list(APPEND MAILVANE_SANITIZER_ENV "TSAN_OPTIONS=${common}:second_deadlock_stack=1")
  endif()
endif()

if(MAILVANE_FUZZ)
  # Coverage for the fuzzer in every library; the fuzzer's main only in
  # the fuzz targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
