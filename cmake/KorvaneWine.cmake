# Tests of the Windows build run under Wine through CMAKE_CROSSCOMPILING_EMULATOR. Its prefix
# is made once here, at configure time, so that no test pays for it or prints Wine's notes
# about creating it, and test programs started at once do not race to create it.
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
                  RESULT_VARIABLE korvane_wineboot_result OUTPUT_QUIET ERROR_QUIET TIMEOUT 300)
  if(NOT korvane_wineboot_result EQUAL 0)
    message(WARNING "Preparing the Wine prefix failed (${korvane_wineboot_result}); tests under Wine may not run")
  endif()
  # ctest starts one persistent wineserver for the prefix before the tests and stops it after.
  set(korvane_wine_prefix "")
  foreach(korvane_emulator_word IN LISTS CMAKE_CROSSCOMPILING_EMULATOR)
    if(korvane_emulator_word MATCHES "^WINEPREFIX=(.+)$")
      set(korvane_wine_prefix "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(korvane_wine_prefix)
    set(korvane_wine_server "${CMAKE_CURRENT_LIST_DIR}/wine-test-server.sh")
    file(WRITE "${CMAKE_BINARY_DIR}/CTestCustom.cmake"
         "set(CTEST_CUSTOM_PRE_TEST \"/bin/sh \\\"${korvane_wine_server}\\\" start \\\"${korvane_wine_prefix}\\\"\")\n"
         "set(CTEST_CUSTOM_POST_TEST \"/bin/sh \\\"${korvane_wine_server}\\\" stop \\\"${korvane_wine_prefix}\\\"\")\n")
  endif()
endif()
