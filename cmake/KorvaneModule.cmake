# A loadable module: a shared library named exactly as the program loads it (no "lib"
# prefix), from which only its C entry points leave. Linux: hidden visibility and a
# version script. Windows: a .def file naming the exports, which keeps everything else
# (the statically linked runtime included) inside the DLL.
function(korvane_module target)
  cmake_parse_arguments(MODULE "" "MAP;DEF" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${target}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_sources(${target} PRIVATE ${MODULE_DEF})
    # No import library: nothing links against a module, the program loads it.
    set_target_properties(${target} PROPERTIES SUFFIX ".dll")
  else()
    set_target_properties(${target} PROPERTIES SUFFIX ".so" LINK_DEPENDS ${MODULE_MAP})
    target_link_options(${target} PRIVATE "LINKER:--version-script=${MODULE_MAP}")
  endif()
endfunction()
