# The build's version, from project() in CMakeLists.txt, to every place that
# shows it:
#
# - mailvane_version.h (generated into MAILVANE_GENERATED_DIR): the version
#   and the platform of the build for the code (the trace's first line,
#   xpexec --version);
# - mailvane_version_resource(TARGET FILE_NAME DESCRIPTION): on Windows, a
#   VERSIONINFO resource in the target, compiled by windres, which Explorer,
#   PowerShell's VersionInfo and sys.dm_os_loaded_modules read; nothing
#   elsewhere (the Linux library carries its version as an ELF note,
#   proc/version_note_posix.cpp).
#
# The version of the mailvane project itself (mailvane_VERSION), not of a
# project added below it: GoogleTest names its own.
set(MAILVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MAILVANE_BUILD_PLATFORM x64)
elseif(WIN32)
  set(MAILVANE_BUILD_PLATFORM x86)
else()
  set(MAILVANE_BUILD_PLATFORM linux)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/mailvane_version.h.in
               ${MAILVANE_GENERATED_DIR}/mailvane_version.h @ONLY)

if(WIN32)
  enable_language(RC)
endif()

function(mailvane_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(MAILVANE_RC_FILE_TYPE VFT_APP)
  else()
    set(MAILVANE_RC_FILE_TYPE VFT_DLL)
  endif()
  get_filename_component(MAILVANE_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(MAILVANE_RC_FILE_NAME ${file_name})
  set(MAILVANE_RC_DESCRIPTION ${description})
  set(rc ${MAILVANE_GENERATED_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
