# Fails when a source of a layer includes a header of a layer above it. The
# order is README.md's, from the ground up; tests, benchmarks and the Windows
# test host may include any layer.
#   cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
set(layers platform host core engine saturation bridge driver ui component pyrana plotview cli python)

set(violations "")
list(LENGTH layers count)
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  list(GET layers ${index} layer)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      list(FIND layers "${target}" targetIndex)
      if(targetIndex GREATER index)
        file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
        list(APPEND violations "${where} (${layer}) includes ${target}/, a layer above it")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes pointing up the layer order:\n  ${text}")
endif()
message(STATUS "every include points down the layers: ${layers}")
