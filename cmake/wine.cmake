# Running the x64 Windows build here: every cross-built program that ctest
# starts goes through scripts/wine-run.sh, which runs it under Wine64 in a
# Wine prefix of this build tree (made on first use), so the tests never
# touch ~/.wine and two build trees never share a prefix.
#
# Sets MAILVANE_CAN_RUN_TARGETS: true when the programs this tree builds can
# run on this machine (natively, or under Wine), false for the 32-bit
# Windows build, whose binaries are only built and inspected (no 32-bit
# Wine here).
set(MAILVANE_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "Wine64 loader for the x64 tests")
set(MAILVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH
    "Wine prefix the x64 tests run in")

if(NOT CMAKE_CROSSCOMPILING)
  set(MAILVANE_CAN_RUN_TARGETS TRUE)
elseif(DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  # Given by the caller: trust it.
  set(MAILVANE_CAN_RUN_TARGETS TRUE)
elseif(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS ${MAILVANE_WINE64})
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${MAILVANE_WINE_PREFIX} ${MAILVANE_WINE64})
  set(MAILVANE_CAN_RUN_TARGETS TRUE)
else()
  set(MAILVANE_CAN_RUN_TARGETS FALSE)
endif()
