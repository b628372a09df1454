# Integration tests: Python scripts run by /usr/bin/python3 (which sees
# Debian's python3-* packages, aiosmtpd among them).
#
# - binaries: what the procedure library exports and imports, in every
#   build, the 32-bit Windows one included (its binaries are only
#   inspected here).
# - every test_*.py beside this file, in each build whose programs run on
#   this machine: it gets the command that starts this build's xpexec
#   (under Wine for the x64 Windows build), then "--" (see harness.py).
set(MAILVANE_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with Debian's python3-* packages")
set(integration_dir ${CMAKE_CURRENT_LIST_DIR})

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(pe_platform win64)
  else()
    set(pe_platform win32)
  endif()
  # The programs that run beside the DLL; the test program only where it
  # runs (the 32-bit build's tests are not built by scripts/test.sh).
  set(runtime_free_targets mailvane_ods_standin)
  if(TARGET xpexec)
    list(APPEND runtime_free_targets xpexec)
  endif()
  if(MAILVANE_CAN_RUN_TARGETS)
    list(APPEND runtime_free_targets mailvane_tests)
  endif()
  set(runtime_free_programs)
  foreach(t IN LISTS runtime_free_targets)
    list(APPEND runtime_free_programs $<TARGET_FILE:${t}>)
  endforeach()
  add_test(NAME binaries
           COMMAND ${MAILVANE_PYTHON} ${integration_dir}/check_binaries.py
                   --version ${mailvane_VERSION} ${CMAKE_RC_COMPILER} ${pe_platform}
                   ${CMAKE_OBJDUMP} $<TARGET_FILE:mailvane> ${runtime_free_programs})
else()
  add_test(NAME binaries
           COMMAND ${MAILVANE_PYTHON} ${integration_dir}/check_binaries.py
                   --version ${mailvane_VERSION} ${CMAKE_READELF} linux
                   ${CMAKE_NM} $<TARGET_FILE:mailvane>)
endif()
set_tests_properties(binaries PROPERTIES TIMEOUT 60)

# What the binaries check inspects, and no more: the build of a tree whose
# programs cannot run here ("ninja inspected_binaries").
add_custom_target(inspected_binaries)
add_dependencies(inspected_binaries mailvane ${runtime_free_targets})

if(MAILVANE_CAN_RUN_TARGETS AND TARGET xpexec)
  file(GLOB integration_scripts CONFIGURE_DEPENDS ${integration_dir}/test_*.py)
  foreach(script IN LISTS integration_scripts)
    get_filename_component(name ${script} NAME_WE)
    string(REGEX REPLACE "^test_" "" name ${name})
    add_test(NAME integration.${name}
             COMMAND ${MAILVANE_PYTHON} ${script}
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:xpexec> --
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    # Each script bounds its own runs and servers; this is the backstop.
    set_tests_properties(integration.${name} PROPERTIES TIMEOUT 600)
    # The Windows store is the Wine prefix's registry, whose policy holds
    # for every call made there meanwhile.
    if(WIN32 AND name STREQUAL "profiles")
      set_tests_properties(integration.${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endforeach()
endif()
