# The fuzz targets: fuzz/fuzz_<name>.cpp each, with a corpus in
# fuzz/corpus/<name>/. Used by fuzz/CMakeLists.txt (libFuzzer builds) and by
# tests/hostile/CMakeLists.txt (plain replay executables run by ctest).
set(H265_FUZZ_TARGETS header_parser nalu_type sps pps slice bit_reader scanner stream_syntax split rtp rtsp_response sdp)

# The tools' source lists (tools/Sources.cmake), compiled in: a fuzzing build
# has no tools. stream_syntax fuzzes the tools' own syntax reader; split runs
# h265split's walk with its output in memory; rtp feeds the RTP input
# (H265_TOOLS_RTP_SOURCES) a TCP connection's bytes through the RTSP
# client's interleaved reader; rtsp_response and sdp
# the RTSP client's readers of what a server sends
# (H265_TOOLS_RTSP_PARSING_SOURCES, no sockets).
include(${CMAKE_CURRENT_LIST_DIR}/../tools/Sources.cmake)
set(H265_FUZZ_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools)
set(H265_FUZZ_STREAM_SYNTAX_SOURCES ${H265_TOOLS_SYNTAX_SOURCES})
set(H265_FUZZ_SPLIT_SOURCES ${H265_TOOLS_SUPPORT_SOURCES} ${H265_TOOLS_MP4_SOURCES} ${H265_TOOLS_RTP_SOURCES}
    ${H265_TOOLS_RTSP_SOURCES} ${H265_SPLIT_SOURCES})
set(H265_FUZZ_RTP_SOURCES ${H265_TOOLS_RTP_SOURCES})
set(H265_FUZZ_RTSP_SOURCES ${H265_TOOLS_RTSP_PARSING_SOURCES})
list(TRANSFORM H265_FUZZ_RTSP_SOURCES PREPEND ${H265_FUZZ_TOOLS_DIR}/)
list(TRANSFORM H265_FUZZ_RTP_SOURCES PREPEND ${H265_FUZZ_TOOLS_DIR}/)
list(TRANSFORM H265_FUZZ_STREAM_SYNTAX_SOURCES PREPEND ${H265_FUZZ_TOOLS_DIR}/)
list(TRANSFORM H265_FUZZ_SPLIT_SOURCES PREPEND ${H265_FUZZ_TOOLS_DIR}/)

# h265_fuzz_target_sources(TARGET NAME): what target fuzz_NAME needs beyond
# the library, for its libFuzzer build and its replay executable alike.
function(h265_fuzz_target_sources target name)
  if(name STREQUAL "stream_syntax")
    target_sources(${target} PRIVATE ${H265_FUZZ_STREAM_SYNTAX_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOLS_DIR}/support)
    set_target_properties(${target} PROPERTIES CXX_STANDARD 14)
  elseif(name STREQUAL "split")
    target_sources(${target} PRIVATE ${H265_FUZZ_SPLIT_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOLS_DIR}/support ${H265_FUZZ_TOOLS_DIR}/mp4
                                                 ${H265_FUZZ_TOOLS_DIR}/rtp ${H265_FUZZ_TOOLS_DIR}/rtsp
                                                 ${H265_FUZZ_TOOLS_DIR}/h265split)
    target_compile_definitions(${target} PRIVATE _FILE_OFFSET_BITS=64)
    set_target_properties(${target} PROPERTIES CXX_STANDARD 14)
  elseif(name STREQUAL "rtp")
    target_sources(${target} PRIVATE ${H265_FUZZ_RTP_SOURCES} ${H265_FUZZ_RTSP_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOLS_DIR}/rtp ${H265_FUZZ_TOOLS_DIR}/rtsp)
  elseif(name STREQUAL "rtsp_response" OR name STREQUAL "sdp")
    target_sources(${target} PRIVATE ${H265_FUZZ_RTSP_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOLS_DIR}/rtsp)
  endif()
endfunction()
