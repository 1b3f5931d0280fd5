# The fuzz targets: fuzz/fuzz_<name>.cpp each, with a corpus in
# fuzz/corpus/<name>/. Used by fuzz/CMakeLists.txt (libFuzzer builds) and by
# tests/hostile/CMakeLists.txt (plain replay executables run by ctest).
set(H265_FUZZ_TARGETS header_parser nalu_type sps pps slice bit_reader scanner stream_syntax)

# stream_syntax fuzzes the tools' own syntax reader (tools/support, C++14),
# whose sources it compiles in: a fuzzing build has no tools.
set(H265_FUZZ_STREAM_SYNTAX_SOURCES
  SyntaxError.cpp RbspBits.cpp ProfileTierLevelSyntax.cpp ScalingListData.cpp ShortTermRefPicSet.cpp
  HrdParameters.cpp VuiParameters.cpp SpsSyntax.cpp VpsSyntax.cpp PpsSyntax.cpp SlicePocHeader.cpp
  PictureOrderCount.cpp HdrSei.cpp SlicePicParameterSetId.cpp StreamTiming.cpp OutputOrder.cpp)
set(H265_FUZZ_TOOL_SUPPORT_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/support)
list(TRANSFORM H265_FUZZ_STREAM_SYNTAX_SOURCES PREPEND ${H265_FUZZ_TOOL_SUPPORT_DIR}/)

# h265_fuzz_target_sources(TARGET NAME): what target fuzz_NAME needs beyond
# the library, for its libFuzzer build and its replay executable alike.
function(h265_fuzz_target_sources target name)
  if(name STREQUAL "stream_syntax")
    target_sources(${target} PRIVATE ${H265_FUZZ_STREAM_SYNTAX_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOL_SUPPORT_DIR})
    set_target_properties(${target} PROPERTIES CXX_STANDARD 14)
  endif()
endfunction()
