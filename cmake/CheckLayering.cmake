# Fails when an engine folder includes a header of ui/ or app/ or of
# QtWidgets, or when ui/ includes app/: includes point one way (README,
# Layout). Run by CTest as the "layering" test:
#   cmake -DSOURCE_DIR=<repo> -DWIDGET_HEADERS=<file> -P cmake/CheckLayering.cmake
# WIDGET_HEADERS names a file with one QtWidgets header name a line.

set(engine_folders platform settings model storage display sound player movie capture engine
    filters tool)

if(NOT EXISTS "${WIDGET_HEADERS}")
  message(FATAL_ERROR "no list of QtWidgets headers at '${WIDGET_HEADERS}'")
endif()
file(STRINGS "${WIDGET_HEADERS}" widget_headers)
list(LENGTH widget_headers widget_count)
if(widget_count LESS 50)
  message(FATAL_ERROR "the list of QtWidgets headers holds only ${widget_count} names")
endif()

set(problems "")
set(scanned 0)

# check_folder(FOLDER FORBIDDEN_REGEX CHECK_WIDGETS)
function(check_folder folder forbidden widgets)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
       "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.c")
  foreach(source ${sources})
    math(EXPR scanned "${scanned} + 1")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    foreach(line ${includes})
      set(bad FALSE)
      if(line MATCHES "${forbidden}")
        set(bad TRUE)
      elseif(widgets AND line MATCHES "<(QtWidgets/)?([A-Za-z0-9_.]+)>")
        set(name "${CMAKE_MATCH_2}")
        if(CMAKE_MATCH_1 OR name STREQUAL "QtWidgets")
          set(bad TRUE)
        else()
          list(FIND widget_headers "${name}" found)
          if(NOT found EQUAL -1)
            set(bad TRUE)
          endif()
        endif()
      endif()
      if(bad)
        string(STRIP "${line}" line)
        list(APPEND problems "${relative}: ${line}")
      endif()
    endforeach()
  endforeach()
  set(problems "${problems}" PARENT_SCOPE)
  set(scanned "${scanned}" PARENT_SCOPE)
endfunction()

foreach(folder ${engine_folders})
  check_folder(${folder} "[\"<](app|ui)/" TRUE)
endforeach()
check_folder(ui "[\"<]app/" FALSE)

if(scanned LESS 100)
  message(FATAL_ERROR "only ${scanned} source files found below '${SOURCE_DIR}'")
endif()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "includes against the layering:\n  ${text}")
endif()
message(STATUS "layering: ${scanned} files, includes point one way")
