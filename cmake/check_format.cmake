# Fails when a C++ source of the tree is not formatted as .clang-format says,
# naming the files.
#   cmake -DSOURCE_DIR=<tree> -DCLANG_FORMAT=<program> -P check_format.cmake
set(folders platform host core engine saturation bridge driver ui component pyrana plotview cli python
    tests bench wintest)
set(sources "")
foreach(folder ${folders})
  file(GLOB_RECURSE found "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  list(APPEND sources ${found})
endforeach()

set(unformatted "")
foreach(source ${sources})
  execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror "${source}"
                  WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE result OUTPUT_QUIET
                  ERROR_QUIET)
  if(NOT result EQUAL 0)
    file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
    list(APPEND unformatted "${where}")
  endif()
endforeach()

if(unformatted)
  list(JOIN unformatted "\n  " text)
  message(FATAL_ERROR "not formatted (run `make format`):\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources formatted")
