# Compiles an .idl file into a type library with widl, run as
#
#   cmake -DWIDL=... -DIDL=file.idl -DTLB=out.tlb -DIDL_DIR=... -DTLB_DIR=...
#         [-DEXPECTED_WARNING=regex] -P widl_typelib.cmake
#
# and fails loudly (with widl's own messages) when widl fails or leaves no
# usable type library behind: the output must exist and start with the
# "MSFT" signature of a type library. The result is written to a temporary
# name and renamed at the end, so a failed run never leaves a stale or
# truncated .tlb that a later build would link. On success widl's warnings
# are echoed, except those matching EXPECTED_WARNING (a warning the caller
# knows to be harmless).
foreach(var WIDL IDL TLB IDL_DIR TLB_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "widl_typelib.cmake: ${var} is not set")
  endif()
endforeach()

set(partial "${TLB}.partial")
file(REMOVE "${partial}")
execute_process(
  COMMAND "${WIDL}" --win64 -t -I "${IDL_DIR}" -L "${TLB_DIR}" -o "${partial}" "${IDL}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)

if(NOT status EQUAL 0)
  file(REMOVE "${partial}")
  message(FATAL_ERROR "widl failed (exit ${status}) on ${IDL}:\n${out}${err}")
endif()
if(NOT EXISTS "${partial}")
  message(FATAL_ERROR "widl wrote no type library for ${IDL}:\n${out}${err}")
endif()
file(READ "${partial}" signature LIMIT 4 HEX)
if(NOT signature STREQUAL "4d534654")  # "MSFT"
  file(REMOVE "${partial}")
  message(FATAL_ERROR "widl output ${partial} is not a type library (no MSFT signature):\n${out}${err}")
endif()
file(RENAME "${partial}" "${TLB}")

string(REPLACE "\n" ";" lines "${out}${err}")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(DEFINED EXPECTED_WARNING AND NOT EXPECTED_WARNING STREQUAL "" AND line MATCHES "${EXPECTED_WARNING}")
    continue()
  endif()
  message(WARNING "widl: ${line}")
endforeach()
