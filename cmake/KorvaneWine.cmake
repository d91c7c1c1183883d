# Tests of the Windows build run under Wine through CMAKE_CROSSCOMPILING_EMULATOR. Its prefix
# is made once here, at configure time, so that no test pays for it or prints Wine's notes
# about creating it, and test programs started at once do not race to create it.
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
                  RESULT_VARIABLE korvane_wineboot_result OUTPUT_QUIET ERROR_QUIET TIMEOUT 300)
  if(NOT korvane_wineboot_result EQUAL 0)
    message(WARNING "Preparing the Wine prefix failed (${korvane_wineboot_result}); tests under Wine may not run")
  endif()
endif()
