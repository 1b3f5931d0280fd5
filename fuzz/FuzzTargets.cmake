# The fuzz targets: fuzz/fuzz_<name>.cpp each, with a corpus in
# fuzz/corpus/<name>/. Used by fuzz/CMakeLists.txt (libFuzzer builds) and by
# tests/hostile/CMakeLists.txt (plain replay executables run by ctest).
set(H265_FUZZ_TARGETS header_parser nalu_type sps pps slice bit_reader scanner)
