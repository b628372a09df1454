# mailvane_sources(<out> <dir>...): the .cpp files of each directory, with
# the platform files of the other platform left out. A platform service is
# one header and two files beside it, name_win32.cpp and name_posix.cpp; the
# build takes the one for the platform it builds for.
function(mailvane_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "_${MAILVANE_OTHER_PLATFORM}\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
