# Runs h265info once and checks what it did. Invoked as
#   cmake [-DCASE=name] -DTOOL=... -DARGS=a@@b -DEXIT=n [-DSTDIN=file] [-DSTDOUT=re@@re] [-DSTDOUT_NOT=re@@re]
#         [-DSTDERR=re@@re] [-DSTDERR_EMPTY=ON] [-DJSON=check@@check
#          -DPYTHON=... -DCHECK_JSON=check_json.py] -DWORK_DIR=... -P RunCase.cmake
# Lists are separated by "@@" so that regular expressions may hold ';'. Every
# regular expression must match (STDOUT, STDERR) or must not (STDOUT_NOT).
# The exit status is compared exactly: a usage error (2) is not bad input (1).
# Standard input is the file STDIN (in WORK_DIR), else /dev/null.
cmake_minimum_required(VERSION 3.16)

function(split_list name)
  if(DEFINED ${name} AND NOT "${${name}}" STREQUAL "")
    string(REPLACE "@@" ";" items "${${name}}")
    set(${name} "${items}" PARENT_SCOPE)
  else()
    set(${name} "" PARENT_SCOPE)
  endif()
endfunction()

foreach(list ARGS STDOUT STDOUT_NOT STDERR JSON)
  split_list(${list})
endforeach()

if(NOT WORK_DIR)
  set(WORK_DIR .)
endif()
set(input /dev/null)
if(STDIN)
  set(input ${WORK_DIR}/${STDIN})
endif()
execute_process(COMMAND ${TOOL} ${ARGS}
  WORKING_DIRECTORY ${WORK_DIR} INPUT_FILE ${input}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(problems "")
if(NOT "${status}" STREQUAL "${EXIT}")
  string(APPEND problems "exit status ${status}, expected ${EXIT}\n")
endif()
foreach(re IN LISTS STDOUT)
  if(NOT out MATCHES "${re}")
    string(APPEND problems "standard output does not match: ${re}\n")
  endif()
endforeach()
foreach(re IN LISTS STDOUT_NOT)
  if(out MATCHES "${re}")
    string(APPEND problems "standard output matches, but must not: ${re}\n")
  endif()
endforeach()
foreach(re IN LISTS STDERR)
  if(NOT err MATCHES "${re}")
    string(APPEND problems "standard error does not match: ${re}\n")
  endif()
endforeach()
if(STDERR_EMPTY AND NOT err STREQUAL "")
  string(APPEND problems "standard error is not empty\n")
endif()

set(skipped "")
if(JSON)
  if(PYTHON)
    # Named after the case: cases with the same arguments run at once.
    if(CASE)
      string(MAKE_C_IDENTIFIER "${CASE}" stem)
    else()
      string(MAKE_C_IDENTIFIER "${ARGS}" stem)
    endif()
    set(document "${WORK_DIR}/${stem}.json")
    file(WRITE "${document}" "${out}")
    execute_process(COMMAND ${PYTHON} ${CHECK_JSON} ${document} ${JSON}
      RESULT_VARIABLE json_status OUTPUT_VARIABLE json_out ERROR_VARIABLE json_out)
    if(NOT json_status EQUAL 0)
      string(APPEND problems "JSON checks failed:\n${json_out}")
    endif()
  else()
    set(skipped "JSON checks SKIPPED: no python3")
  endif()
endif()

if(problems)
  message(FATAL_ERROR "h265info ${ARGS}\n${problems}--- standard output ---\n${out}--- standard error ---\n${err}")
endif()
if(skipped)
  message(STATUS "${skipped}")
endif()
