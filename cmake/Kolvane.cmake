# Shared build rules. Every subsystem folder calls kolvane_library() with its
# name and the libraries it uses; sources are the folder's own files.

set(KOLVANE_WARNINGS -Wall -Wextra -Werror)

# kolvane_library(NAME DEPS dep...) builds kolvane_NAME from *.cpp/*.h of the
# calling folder. A folder without sources yields an interface library.
function(kolvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(sources)
    add_library(kolvane_${name} STATIC ${sources} ${headers})
    target_compile_options(kolvane_${name} PRIVATE ${KOLVANE_WARNINGS})
    target_include_directories(kolvane_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(kolvane_${name} PUBLIC ${ARG_DEPS})
    set_target_properties(kolvane_${name} PROPERTIES AUTOMOC ON)
  else()
    add_library(kolvane_${name} INTERFACE)
    target_include_directories(kolvane_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(kolvane_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kolvane_plugin(NAME DEPS dep...) builds the GStreamer plugin libgstNAME.so
# into the build's plugin folder; the file must carry the plugin's name.
function(kolvane_plugin name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT sources)
    return()
  endif()
  add_library(gst${name} MODULE ${sources})
  target_compile_options(gst${name} PRIVATE ${KOLVANE_WARNINGS})
  target_include_directories(gst${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(gst${name} PRIVATE PkgConfig::GST ${ARG_DEPS})
  set_target_properties(gst${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${KOLVANE_PLUGIN_DIR})
  install(TARGETS gst${name} LIBRARY DESTINATION ${KOLVANE_INSTALL_PLUGINDIR})
endfunction()

# kolvane_tests(NAME DEPS dep...) builds one test program from the calling
# folder's *_test.cpp files with the shared test main, and registers each test
# case with CTest so that every case runs in its own process and temp HOME.
function(kolvane_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_compile_options(${name}_tests PRIVATE ${KOLVANE_WARNINGS})
  target_link_libraries(${name}_tests PRIVATE kolvane_test_support ${ARG_DEPS})
  set_target_properties(${name}_tests PROPERTIES AUTOMOC ON)
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                       PROPERTIES TIMEOUT 120 LABELS ${name} FIXTURES_REQUIRED gst_registry)
endfunction()
