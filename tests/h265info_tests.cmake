# Tests of the h265info inspector: it runs on small streams that
# h265info/make_inputs.sh writes at test time, and each case checks the exit
# status exactly (0 fine, 1 bad input, 2 usage), what standard output and
# standard error say, and, for --json, the parsed document (python3).
if(NOT TARGET h265info)
  return()
endif()

# In a cross build the tool runs through the emulator, behind a small wrapper
# so that the scripts below can call it like a native program.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " H265INFO_EMULATOR)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/h265info-run
    CONTENT "#!/bin/sh\nexec ${H265INFO_EMULATOR} \"$<TARGET_FILE:h265info>\" \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(H265INFO_TOOL ${CMAKE_CURRENT_BINARY_DIR}/h265info-run)
else()
  set(H265INFO_TOOL $<TARGET_FILE:h265info>)
endif()

set(H265INFO_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/h265info)
set(H265INFO_INPUTS ${CMAKE_CURRENT_BINARY_DIR}/h265info_inputs)
find_program(H265INFO_PYTHON python3)

add_test(NAME h265info.make_inputs COMMAND sh ${H265INFO_TEST_DIR}/make_inputs.sh ${H265INFO_INPUTS})
set_tests_properties(h265info.make_inputs PROPERTIES FIXTURES_SETUP h265info_inputs LABELS h265info)

# h265info_case(NAME EXIT status ARGS arg... [STDOUT re...] [STDOUT_NOT re...]
#               [STDERR re...] [STDERR_EMPTY] [JSON check...])
# Runs in the input directory. JSON checks are those of h265info/check_json.py.
function(h265info_case name)
  cmake_parse_arguments(C "STDERR_EMPTY" "EXIT" "ARGS;STDOUT;STDOUT_NOT;STDERR;JSON" ${ARGN})
  set(defines)
  foreach(list ARGS STDOUT STDOUT_NOT STDERR JSON)
    list(JOIN C_${list} "@@" joined)
    list(APPEND defines "-D${list}=${joined}")
  endforeach()
  if(C_STDERR_EMPTY)
    list(APPEND defines -DSTDERR_EMPTY=ON)
  endif()
  add_test(NAME h265info.${name}
    COMMAND ${CMAKE_COMMAND} -DTOOL=${H265INFO_TOOL} -DEXIT=${C_EXIT} ${defines}
            -DWORK_DIR=${H265INFO_INPUTS} -DPYTHON=${H265INFO_PYTHON}
            -DCHECK_JSON=${H265INFO_TEST_DIR}/check_json.py -P ${H265INFO_TEST_DIR}/RunCase.cmake)
  set_tests_properties(h265info.${name} PROPERTIES
    FIXTURES_REQUIRED h265info_inputs LABELS h265info SKIP_REGULAR_EXPRESSION "JSON checks SKIPPED")
endfunction()

# --- Usage: help on standard output with 0, mistakes on standard error with 2.
h265info_case(help EXIT 0 ARGS --help STDERR_EMPTY
  STDOUT "Usage: h265info .--json. FILE" "--json +write one JSON document" "Exit status:" "2  usage error")
h265info_case(help_short EXIT 0 ARGS -h valid.h265 STDERR_EMPTY STDOUT "Usage: h265info")
h265info_case(no_arguments EXIT 2 STDOUT_NOT "." STDERR "no FILE given" "Usage: h265info" "--help")
h265info_case(unknown_option EXIT 2 ARGS --bogus valid.h265 STDOUT_NOT "."
  STDERR "h265info: unknown option '--bogus'" "Usage: h265info")
h265info_case(unknown_short_option EXIT 2 ARGS -x valid.h265 STDOUT_NOT "." STDERR "unknown option '-x'")
h265info_case(two_files EXIT 2 ARGS valid.h265 dependent.h265 STDOUT_NOT "." STDERR "more than one FILE")
h265info_case(json_without_file EXIT 2 ARGS --json STDOUT_NOT "." STDERR "no FILE given")
h265info_case(dash_file_name EXIT 2 ARGS -dash.h265 STDERR "unknown option '-dash.h265'")
h265info_case(dash_file_after_end_of_options EXIT 0 ARGS -- -dash.h265 STDERR_EMPTY
  STDOUT "File: -dash.h265" "NAL units: +12")

# --- Bad input: one clear line on standard error, exit 1, never a crash.
h265info_case(missing_file EXIT 1 ARGS does-not-exist.h265 STDOUT_NOT "."
  STDERR "h265info: cannot open 'does-not-exist.h265': No such file or directory")
h265info_case(directory EXIT 1 ARGS . STDOUT_NOT "." STDERR "h265info: '.' is a directory")
h265info_case(empty_file EXIT 1 ARGS empty.h265 STDOUT_NOT "." STDERR "h265info: 'empty.h265' is empty")
h265info_case(no_start_code EXIT 1 ARGS no_start_code.h265 STDOUT_NOT "."
  STDERR "no start code \\(00 00 01\\) in the 25 bytes of 'no_start_code.h265'")
h265info_case(only_start_code EXIT 1 ARGS only_start_code.h265
  STDOUT " 0 +0 +3  - +-" "NAL units: +1"
  STDERR "h265info: NAL unit at byte offset 0 ends inside its NAL unit header")
h265info_case(truncated_sps EXIT 1 ARGS truncated_sps.h265
  STDOUT " 1 +28 +14  33 SPS_NUT +1 SPS +! error" "coded size: +unknown \\(no complete SPS\\)" "errors: +1"
  STDOUT_NOT "SPS at byte offset"
  STDERR "h265info: SPS at byte offset 28 ends before its last field \\(truncated\\)")
h265info_case(truncated_pps EXIT 1 ARGS truncated_pps.h265
  STDOUT " 2 +73 +6  34 PPS_NUT +2 PPS +! error" "SPS at byte offset 28"
  STDOUT_NOT "PPS at byte offset"
  STDERR "h265info: PPS at byte offset 73 ends before its last field \\(truncated\\)")
h265info_case(truncated_slice EXIT 1 ARGS truncated_slice.h265
  STDOUT " 3 +84 +6  1 TRAIL_R +7 SLICE +[?] truncated" "untyped segments: +1" "pictures: +0 "
  STDERR "h265info: slice segment at byte offset 84 ends before slice_type \\(truncated\\)")
h265info_case(slice_type_out_of_range EXIT 1 ARGS bad_slice_type.h265
  STDOUT " 3 +81 +7  1 TRAIL_R +7 SLICE +[?] slice_type"
  STDERR "slice segment at byte offset 81 has a slice_type other than B, P or I")

# --- The NAL units of a stream: offsets, sizes, types and picture types.
h265info_case(units_in_order EXIT 0 ARGS valid.h265 STDERR_EMPTY
  STDOUT "File: valid.h265"
         " 0 +0 +7  35 AUD_NUT +11 OTHER[^ ]"
         " 1 +7 +28  32 VPS_NUT +0 VPS[^ ]"
         " 2 +35 +45  33 SPS_NUT +1 SPS[^ ]"
         " 3 +80 +11  34 PPS_NUT +2 PPS[^ ]"
         " 4 +91 +10  39 PREFIX_SEI_NUT +4 SEI_PREFIX[^ ]"
         " 5 +101 +14  20 IDR_N_LP +7 SLICE +I first key[^ ]"
         " 6 +115 +9  40 SUFFIX_SEI_NUT +5 SEI_SUFFIX[^ ]"
         " 7 +124 +7  35 AUD_NUT +11 OTHER[^ ]"
         " 8 +131 +14  1 TRAIL_R +7 SLICE +P first[^ ]"
         " 9 +145 +15  0 TRAIL_N +7 SLICE +B first[^ ]"
         "10 +160 +6  36 EOS_NUT +11 OTHER[^ ]"
         "11 +166 +5  37 EOB_NUT +11 OTHER[^ ]")
h265info_case(summary_counts EXIT 0 ARGS valid.h265
  STDOUT "file size: +171 bytes[^ ]" "NAL units: +12[^ ]" "first NAL unit: +11 OTHER"
         "pictures: +3 \\(I 1, P 1, B 1\\)" "key pictures: +1[^ ]" "#5 at byte offset 101 \\(IDR_N_LP\\)"
         "parameter sets: +VPS, SPS and PPS come before the first picture"
  STDOUT_NOT "errors:" "dependent segments" "untyped segments")
h265info_case(summary_sps EXIT 0 ARGS valid.h265
  STDOUT "coded size: +64x64" "display size: +64x64 \\(no conformance window\\)" "chroma format: +4:2:0"
         "bit depth: +luma 8, chroma 8" "profile/tier/level: +Main, Main tier, level 1[^.0-9]")
h265info_case(listings_as_dumped EXIT 0 ARGS valid.h265
  STDOUT "SPS at byte offset 35 \\(NAL unit #2\\).sps_video_parameter_set_id = 0.sps_max_sub_layers_minus1 = 0"
         "pic_width_in_luma_samples = 64.pic_height_in_luma_samples = 64.conformance_window_flag = 0.bit_depth_luma_minus8"
         "log2_diff_max_min_luma_coding_block_size = 3.*PPS at byte offset 80 \\(NAL unit #3\\).pps_pic_parameter_set_id = 0"
         "sign_data_hiding_enabled_flag = 1.cabac_init_present_flag = 0.$")
h265info_case(conformance_window_422 EXIT 0 ARGS range_extensions.h265 STDERR_EMPTY
  STDOUT "coded size: +72x40"
         "display size: +66x34 \\(conformance window left 0, right 3, top 0, bottom 6 in units of 2x1\\)"
         "chroma format: +4:2:2" "bit depth: +luma 10, chroma 10"
         "profile/tier/level: +Format Range Extensions \\(RExt\\), Main tier, level 1[^.0-9]"
         "pictures: +2 \\(I 1, P 1, B 0\\)" "conf_win_right_offset = 3")
h265info_case(main10_high_tier_level EXIT 0 ARGS main10.h265 STDERR_EMPTY
  STDOUT "profile/tier/level: +Main 10, High tier, level 4.1[^0-9]" "bit depth: +luma 10, chroma 10")
h265info_case(dependent_slice_segments EXIT 0 ARGS dependent.h265 STDERR_EMPTY
  STDOUT " 3 +81 +8  19 IDR_W_RADL +8 I_FRAME +I first key[^ ]"
         " 4 +89 +7  1 TRAIL_R +7 SLICE +- dependent[^ ]"
         " 5 +96 +7  1 TRAIL_R +7 SLICE +P[^ ]"
         " 6 +103 +7  1 TRAIL_R +7 SLICE +P first[^ ]"
         "pictures: +2 \\(I 1, P 1, B 0\\)" "dependent segments: +1" "dependent_slice_segments_enabled_flag = 1"
  STDOUT_NOT "untyped segments")
h265info_case(no_parameter_sets EXIT 0 ARGS no_parameter_sets.h265 STDERR_EMPTY
  STDOUT " 0 +0 +14  1 TRAIL_R +7 SLICE +[?] no SPS/PPS" " 1 +14 +14  20 IDR_N_LP +7 SLICE +[?] no SPS/PPS"
         "coded size: +unknown" "pictures: +0 " "untyped segments: +2" "key pictures: +none"
         "VPS, SPS and PPS do not all come before the first picture")
h265info_case(leading_garbage EXIT 0 ARGS leading_garbage.h265 STDERR_EMPTY
  STDOUT "file size: +101 bytes \\(3 before the first start code\\)" " 0 +3 +28  32 VPS_NUT"
         " 3 +87 +14  20 IDR_N_LP +7 SLICE +I first key")

# --- Reading in 1 MiB windows: a unit larger than the window, and start
# codes that straddle the window's end at byte 1048576.
h265info_case(unit_larger_than_window EXIT 0 ARGS big_unit.h265 STDERR_EMPTY
  STDOUT " 3 +84 +3145733  38 FD_NUT +11 OTHER" " 4 +3145817 +14  20 IDR_N_LP +7 SLICE +I first key"
         " 5 +3145831 +14  1 TRAIL_R +7 SLICE +P first" "file size: +3145845 bytes")
foreach(at 1048573 1048574 1048575)
  math(EXPR filler "${at} - 84")
  math(EXPR after "${at} + 14")
  h265info_case(start_code_at_${at} EXIT 0 ARGS straddle_${at}.h265 STDERR_EMPTY
    STDOUT " 3 +84 +${filler}  38 FD_NUT" " 4 +${at} +14  1 TRAIL_R +7 SLICE +P first[^ ]"
           " 5 +${after} +14  20 IDR_N_LP +7 SLICE +I first key" "NAL units: +6[^ ]")
endforeach()

h265info_case(leading_garbage_across_window EXIT 0 ARGS leading_garbage_1048574.h265 STDERR_EMPTY
  STDOUT "file size: +1048672 bytes \\(1048574 before the first start code\\)"
         " 0 +1048574 +28  32 VPS_NUT" " 3 +1048658 +14  20 IDR_N_LP +7 SLICE +I first key")

# --- JSON: the same findings as one strict JSON document.
h265info_case(json_units EXIT 0 ARGS --json valid.h265 STDERR_EMPTY
  JSON "file=\"valid.h265\"" "nal_units#=12" "nal_units[0].name=\"AUD_NUT\"" "nal_units[0].nalu_type=11"
       "nal_units[1].offset=7" "nal_units[1].start_code_length=4" "nal_units[1].is_key_frame=1"
       "nal_units[4].nalu_type_name=\"NALU_TYPE_SEI_PREFIX\"" "nal_units[5].offset=101"
       "nal_units[5].start_code_length=3" "nal_units[5].nal_unit_type=20" "nal_units[5].slice.picture_type=\"I\""
       "nal_units[5].slice.key_picture=true" "nal_units[8].is_key_frame=2" "nal_units[9].size=15"
       "nal_units[9].slice.first_slice_segment_in_pic=true" "nal_units[9].slice.picture_type=\"B\""
       "nal_units[11].name=\"EOB_NUT\"" "nal_units[3].slice=null")
h265info_case(json_summary EXIT 0 ARGS --json valid.h265
  JSON "summary.nal_unit_count=12" "summary.file_size=171" "summary.first_nalu_type=11"
       "summary.coded_width=64" "summary.display_height=64" "summary.chroma_format=\"4:2:0\""
       "summary.pictures={\"I\": 1, \"P\": 1, \"B\": 1, \"total\": 3}"
       "summary.key_pictures=[{\"index\": 5, \"offset\": 101, \"name\": \"IDR_N_LP\"}]"
       "summary.parameter_sets_before_first_picture=true" "summary.profile_tier_level=\"Main, Main tier, level 1\""
       "summary.errors#=0")
h265info_case(json_listings EXIT 0 ARGS --json valid.h265
  JSON "sps#=1" "sps[0].offset=35" "sps[0].listing~=^sps_video_parameter_set_id = 0\\nsps_max_sub_layers_minus1 = 0\\n"
       "sps[0].fields.pic_width_in_luma_samples=64" "sps[0].fields.log2_max_pic_order_cnt_lsb_minus4=4"
       "pps#=1" "pps[0].fields#=7" "pps[0].fields.sign_data_hiding_enabled_flag=1"
       "pps[0].listing~=cabac_init_present_flag = 0\\n$")
h265info_case(json_conformance_window EXIT 0 ARGS --json range_extensions.h265
  JSON "summary.coded_width=72" "summary.coded_height=40" "summary.display_width=66" "summary.display_height=34"
       "summary.conformance_window.present=true" "summary.conformance_window.sub_width_c=2"
       "summary.conformance_window.sub_height_c=1" "summary.chroma_format=\"4:2:2\"" "summary.bit_depth_chroma=10"
       "summary.profile=\"Format Range Extensions (RExt)\"" "sps[0].fields.conf_win_bottom_offset=6")
h265info_case(json_level EXIT 0 ARGS --json main10.h265
  JSON "summary.general_level_idc=123" "summary.level=\"4.1\"" "summary.tier=\"High tier\"" "summary.profile=\"Main 10\"")
h265info_case(json_truncated_sps EXIT 1 ARGS --json truncated_sps.h265 STDERR "SPS at byte offset 28"
  JSON "summary.error_count=1" "summary.errors=[\"SPS at byte offset 28 ends before its last field (truncated)\"]"
       "nal_units[1].error~=truncated" "summary.coded_width=null" "sps#=0")
h265info_case(json_slice_states EXIT 0 ARGS --json dependent.h265
  JSON "nal_units[4].slice={\"state\": \"dependent\"}" "nal_units[5].slice.first_slice_segment_in_pic=false"
       "summary.dependent_slice_segments=1")
h265info_case(json_no_parameter_sets EXIT 0 ARGS --json no_parameter_sets.h265
  JSON "nal_units[0].slice.state=\"no_parameter_sets\"" "summary.parameter_sets_before_first_picture=false"
       "summary.sps_offset=null" "summary.key_pictures#=0" "sps=[]" "pps=[]")
h265info_case(json_header_missing EXIT 1 ARGS --json only_start_code.h265
  JSON "nal_units[0].nal_unit_type=null" "nal_units[0].nalu_type=null" "summary.first_nalu_type=-1")

add_test(NAME h265info.json_file_names
  COMMAND sh ${H265INFO_TEST_DIR}/json_file_names.sh ${H265INFO_TOOL} ${H265INFO_INPUTS}
          ${H265INFO_TEST_DIR}/check_json.py)
set_tests_properties(h265info.json_file_names PROPERTIES
  FIXTURES_REQUIRED h265info_inputs LABELS h265info SKIP_RETURN_CODE 77)

# --- An independent oracle: ffmpeg's trace_headers on the bundled sample and
# on corpus streams with dependent slice segments, tiles, a conformance
# window, 4:0:0 (also with a conformance window), 4:2:2 10-bit and BLA pictures.
set(H265INFO_ORACLE_STREAMS
  samples/x265_320x240.hevc
  tests/data/kvazaar_176x144_dependent_slices.265
  tests/data/kvazaar_320x240_tiles.265
  tests/data/x265_1918x1078_conf_window.hevc
  tests/data/kvazaar_176x144_monochrome.265
  tests/data/libx265_100x60_gray_conf_window.hevc
  tests/data/libx265_128x96_yuv422p10le.hevc
  tests/data/x265_128x96_bla.hevc)
foreach(stream IN LISTS H265INFO_ORACLE_STREAMS)
  get_filename_component(stem ${stream} NAME_WE)
  add_test(NAME h265info.agrees_with_ffmpeg.${stem}
    COMMAND sh ${H265INFO_TEST_DIR}/compare_with_ffmpeg.sh ${H265INFO_TOOL}
            ${h265headers_SOURCE_DIR}/${stream})
  set_tests_properties(h265info.agrees_with_ffmpeg.${stem} PROPERTIES LABELS h265info SKIP_RETURN_CODE 77)
endforeach()
