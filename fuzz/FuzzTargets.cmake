# The fuzz targets: fuzz/fuzz_<name>.cpp each, with a corpus in
# fuzz/corpus/<name>/. Used by fuzz/CMakeLists.txt (libFuzzer builds) and by
# tests/hostile/CMakeLists.txt (plain replay executables run by ctest).
set(H265_FUZZ_TARGETS header_parser nalu_type sps pps slice bit_reader scanner stream_syntax split)

# stream_syntax fuzzes the tools' own syntax reader (tools/support, C++14),
# whose sources it compiles in: a fuzzing build has no tools.
set(H265_FUZZ_STREAM_SYNTAX_SOURCES
  SyntaxError.cpp RbspBits.cpp ProfileTierLevelSyntax.cpp ScalingListData.cpp ShortTermRefPicSet.cpp
  HrdParameters.cpp VuiParameters.cpp SpsSyntax.cpp VpsSyntax.cpp PpsSyntax.cpp SlicePocHeader.cpp
  SliceReferencePictures.cpp PictureOrderCount.cpp HdrSei.cpp SlicePicParameterSetId.cpp StreamTiming.cpp OutputOrder.cpp)
set(H265_FUZZ_TOOL_SUPPORT_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/support)
list(TRANSFORM H265_FUZZ_STREAM_SYNTAX_SOURCES PREPEND ${H265_FUZZ_TOOL_SUPPORT_DIR}/)

# split runs h265split's walk with its output in memory: the tools' support
# library and h265split without its main().
set(H265_FUZZ_SPLIT_SOURCES
  support/StreamInput.cpp support/NalUnitReader.cpp support/NalUnitReaderNeon.cpp support/InputKind.cpp
  support/CountedNoun.cpp support/Progress.cpp support/Listing.cpp
  support/GeneralProfileTierLevel.cpp support/SpsDescription.cpp support/ParameterSets.cpp
  support/SlicePicParameterSetId.cpp support/CommandLine.cpp support/OutputOrder.cpp support/FrameRate.cpp
  support/ColourNames.cpp support/SampleAspectRatio.cpp support/StreamTiming.cpp support/SyntaxError.cpp
  support/RbspBits.cpp support/ProfileTierLevelSyntax.cpp support/ScalingListData.cpp
  support/ShortTermRefPicSet.cpp support/HrdParameters.cpp support/VuiParameters.cpp support/SpsSyntax.cpp
  support/VpsSyntax.cpp support/PpsSyntax.cpp support/SlicePocHeader.cpp support/SliceReferencePictures.cpp
  support/PictureOrderCount.cpp support/HdrSei.cpp
  h265split/Options.cpp h265split/Messages.cpp h265split/OutputFiles.cpp h265split/SegmentFile.cpp
  h265split/SegmentIndex.cpp h265split/AccessUnitAssembler.cpp h265split/PictureReader.cpp
  h265split/Segmenter.cpp h265split/TrackFormat.cpp h265split/FileStore.cpp h265split/Mp4Track.cpp
  h265split/FragmentedSegment.cpp h265split/HlsOutput.cpp h265split/Mp4FileOutput.cpp h265split/FormatOutput.cpp
  h265split/Split.cpp h265split/SampleClock.cpp
  mp4/BoxWriter.cpp mp4/HvcC.cpp mp4/CodecString.cpp mp4/InitSegment.cpp mp4/VisualDescription.cpp
  mp4/MediaFragment.cpp mp4/SampleData.cpp mp4/Fragmenter.cpp mp4/HlsPlaylist.cpp)
set(H265_FUZZ_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools)
list(TRANSFORM H265_FUZZ_SPLIT_SOURCES PREPEND ${H265_FUZZ_TOOLS_DIR}/)

# h265_fuzz_target_sources(TARGET NAME): what target fuzz_NAME needs beyond
# the library, for its libFuzzer build and its replay executable alike.
function(h265_fuzz_target_sources target name)
  if(name STREQUAL "stream_syntax")
    target_sources(${target} PRIVATE ${H265_FUZZ_STREAM_SYNTAX_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOL_SUPPORT_DIR})
    set_target_properties(${target} PROPERTIES CXX_STANDARD 14)
  elseif(name STREQUAL "split")
    target_sources(${target} PRIVATE ${H265_FUZZ_SPLIT_SOURCES})
    target_include_directories(${target} PRIVATE ${H265_FUZZ_TOOLS_DIR}/support ${H265_FUZZ_TOOLS_DIR}/mp4
                                                 ${H265_FUZZ_TOOLS_DIR}/h265split)
    target_compile_definitions(${target} PRIVATE _FILE_OFFSET_BITS=64)
    set_target_properties(${target} PROPERTIES CXX_STANDARD 14)
  endif()
endfunction()
