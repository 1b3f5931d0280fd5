# Checks the binary interface of the shared object:
#  - its defined dynamic symbols are exactly the five exported functions;
#  - its SONAME is libh265headers.so.1.
#
#   cmake -DLIBRARY=path/to/libh265headers.so -DNM=nm -P CheckExportedSymbols.cmake
#
# OBJDUMP may be given; otherwise the objdump beside NM (same prefix, e.g.
# arm-linux-gnueabihf-objdump) is used, then readelf. The SONAME check is
# skipped, with a message, when neither tool exists.
cmake_minimum_required(VERSION 3.16)

if(NOT LIBRARY OR NOT NM)
  message(FATAL_ERROR "usage: cmake -DLIBRARY=<lib.so> -DNM=<nm> [-DOBJDUMP=<objdump>] -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
if(NOT EXISTS "${LIBRARY}")
  message(FATAL_ERROR "no such library: ${LIBRARY}")
endif()

set(expected_symbols
  CreateH265HeaderParser
  CreateH265Parser
  ReleaseH265Parser
  ReleaseVideoHeaderParser
  _Z18profile_tier_levelR18PROFILE_TIER_LEVELR16CH264BitInStream)
set(expected_soname libh265headers.so.1)

set(failed FALSE)

# --- dynamic symbols -------------------------------------------------------
execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE nm_out ERROR_VARIABLE nm_err RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "${NM} -D --defined-only ${LIBRARY} failed (${nm_rc}):\n${nm_err}")
endif()

set(actual_symbols)
string(REPLACE "\n" ";" nm_lines "${nm_out}")
foreach(line IN LISTS nm_lines)
  # "<address> <type> <name>[@version]"; absolute version-node symbols (type A,
  # e.g. a version script's node name) are not functions and are not counted.
  if(line MATCHES "^[0-9a-fA-F]*[ \t]+([A-Za-z])[ \t]+([^ \t@]+)")
    set(type "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(NOT type STREQUAL "A")
      list(APPEND actual_symbols "${name}")
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES actual_symbols)
list(SORT actual_symbols)
list(SORT expected_symbols)

set(missing ${expected_symbols})
if(actual_symbols)
  list(REMOVE_ITEM missing ${actual_symbols})
endif()
set(unexpected ${actual_symbols})
list(REMOVE_ITEM unexpected ${expected_symbols})

if(missing OR unexpected)
  set(failed TRUE)
  message("exported symbols of ${LIBRARY} differ from the expected five")
  foreach(s IN LISTS missing)
    message("  missing:    ${s}")
  endforeach()
  foreach(s IN LISTS unexpected)
    message("  unexpected: ${s}")
  endforeach()
  message("full output of ${NM} -D --defined-only:\n${nm_out}")
else()
  list(LENGTH actual_symbols n)
  message("exported symbols: ${n}, as expected")
endif()

# --- SONAME ----------------------------------------------------------------
if(NOT OBJDUMP)
  get_filename_component(nm_dir "${NM}" DIRECTORY)
  get_filename_component(nm_name "${NM}" NAME)
  string(REGEX REPLACE "nm$" "objdump" objdump_name "${nm_name}")
  set(OBJDUMP "")
  if(NOT objdump_name STREQUAL nm_name)
    if(nm_dir AND EXISTS "${nm_dir}/${objdump_name}")
      set(OBJDUMP "${nm_dir}/${objdump_name}")
    else()
      find_program(OBJDUMP_FOUND NAMES "${objdump_name}")
      if(OBJDUMP_FOUND)
        set(OBJDUMP "${OBJDUMP_FOUND}")
      endif()
    endif()
  endif()
endif()

set(soname "")
set(soname_tool "")
if(OBJDUMP)
  execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
    OUTPUT_VARIABLE dump_out ERROR_QUIET RESULT_VARIABLE dump_rc)
  if(dump_rc EQUAL 0)
    set(soname_tool "${OBJDUMP} -p")
    if(dump_out MATCHES "\n[ \t]*SONAME[ \t]+([^ \t\r\n]+)")
      set(soname "${CMAKE_MATCH_1}")
    endif()
  endif()
endif()
if(NOT soname_tool)
  find_program(READELF_FOUND NAMES readelf)
  if(READELF_FOUND)
    execute_process(COMMAND "${READELF_FOUND}" -d "${LIBRARY}"
      OUTPUT_VARIABLE dump_out ERROR_QUIET RESULT_VARIABLE dump_rc)
    if(dump_rc EQUAL 0)
      set(soname_tool "${READELF_FOUND} -d")
      if(dump_out MATCHES "\\(SONAME\\)[^\n]*\\[([^]\n]+)\\]")
        set(soname "${CMAKE_MATCH_1}")
      endif()
    endif()
  endif()
endif()

if(NOT soname_tool)
  message("SONAME check skipped: neither objdump nor readelf found")
elseif(NOT soname STREQUAL expected_soname)
  set(failed TRUE)
  if(soname)
    message("SONAME of ${LIBRARY} is ${soname}, expected ${expected_soname} (from ${soname_tool})")
  else()
    message("${LIBRARY} has no SONAME, expected ${expected_soname} (from ${soname_tool})")
  endif()
else()
  message("SONAME: ${soname}, as expected")
endif()

if(failed)
  message(FATAL_ERROR "exported interface check failed for ${LIBRARY}")
endif()
