// Real encoder output checked against values traced by an independent decoder.
//
// Every stream in tests/data that has a STREAM.expected file is one parameter
// of the suite. The .expected files are written by scripts/trace_to_expected.py
// from ffmpeg's trace_headers output alone (the regenerate_expected test redoes
// this and compares), so a difference here is a difference between the library
// and ffmpeg's reading of the same bytes.
//
// Areas: splitting into NAL units, the SPS record, its profile_tier_level(),
// the PPS record, the header parser's whole-buffer queries, the per-NAL-unit
// classification and the slice picture types. A last test checks that the
// corpus still holds the stream features it is meant to cover.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AnnexB.h"
#include "ExpectedFile.h"
#include "InputFiles.h"
#include "PictureParameterSet.h"
#include "SequenceParameterSet.h"
#include "h265headers.h"

using namespace h265headers;

namespace {

const std::string kDataDir = H265_TEST_DATA_DIR;
const char kExpectedSuffix[] = ".expected";

// Streams of the corpus: every file with a companion .expected file.
std::vector<std::string> ListStreams() {
    std::vector<std::string> files, names;
    inputfiles::ListFiles(kDataDir, {kExpectedSuffix}, files);
    for (const std::string& path : files) {
        const std::string name = path.substr(kDataDir.size() + 1);
        names.push_back(name.substr(0, name.size() - (sizeof kExpectedSuffix - 1)));
    }
    return names;
}

std::string TestNameOf(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

// ---------------------------------------------------------------------------
// Field tables: expected-file key -> where the library keeps the value.

struct SpsField {
    const char* name;
    unsigned int SEQ_PARAMETER_SET::*member;
};

const SpsField kSpsFields[] = {
    {"sps_video_parameter_set_id", &SEQ_PARAMETER_SET::sps_video_parameter_set_id},
    {"sps_max_sub_layers_minus1", &SEQ_PARAMETER_SET::sps_max_sub_layers_minus1},
    {"sps_temporal_id_nesting_flag", &SEQ_PARAMETER_SET::sps_temporal_id_nesting_flag},
    {"sps_seq_parameter_set_id", &SEQ_PARAMETER_SET::sps_seq_parameter_set_id},
    {"chroma_format_idc", &SEQ_PARAMETER_SET::chroma_format_idc},
    {"separate_colour_plane_flag", &SEQ_PARAMETER_SET::separate_colour_plane_flag},
    {"pic_width_in_luma_samples", &SEQ_PARAMETER_SET::pic_width_in_luma_samples},
    {"pic_height_in_luma_samples", &SEQ_PARAMETER_SET::pic_height_in_luma_samples},
    {"conformance_window_flag", &SEQ_PARAMETER_SET::conformance_window_flag},
    {"conf_win_left_offset", &SEQ_PARAMETER_SET::conf_win_left_offset},
    {"conf_win_right_offset", &SEQ_PARAMETER_SET::conf_win_right_offset},
    {"conf_win_top_offset", &SEQ_PARAMETER_SET::conf_win_top_offset},
    {"conf_win_bottom_offset", &SEQ_PARAMETER_SET::conf_win_bottom_offset},
    {"bit_depth_luma_minus8", &SEQ_PARAMETER_SET::bit_depth_luma_minus8},
    {"bit_depth_chroma_minus8", &SEQ_PARAMETER_SET::bit_depth_chroma_minus8},
    {"log2_max_pic_order_cnt_lsb_minus4", &SEQ_PARAMETER_SET::log2_max_pic_order_cnt_lsb_minus4},
    {"sps_sub_layer_ordering_info_present_flag", &SEQ_PARAMETER_SET::sps_sub_layer_ordering_info_present_flag},
    {"log2_min_luma_coding_block_size_minus3", &SEQ_PARAMETER_SET::log2_min_luma_coding_block_size_minus3},
    {"log2_diff_max_min_luma_coding_block_size", &SEQ_PARAMETER_SET::log2_diff_max_min_luma_coding_block_size},
};

// sps_max_sub_layers_minus1 + 1 entries each.
struct SpsArray {
    const char* name;
    unsigned int* SEQ_PARAMETER_SET::*member;
};

const SpsArray kSpsArrays[] = {
    {"sps_max_dec_pic_buffering_minus1", &SEQ_PARAMETER_SET::sps_max_dec_pic_buffering_minus1},
    {"sps_max_num_reorder_pics", &SEQ_PARAMETER_SET::sps_max_num_reorder_pics},
    {"sps_max_latency_increase_plus1", &SEQ_PARAMETER_SET::sps_max_latency_increase_plus1},
};

struct PtlField {
    const char* name;
    unsigned int PROFILE_TIER_LEVEL::*member;
};

const PtlField kPtlGeneralFields[] = {
    {"general_profile_space", &PROFILE_TIER_LEVEL::general_profile_space},
    {"general_tier_flag", &PROFILE_TIER_LEVEL::general_tier_flag},
    {"general_profile_idc", &PROFILE_TIER_LEVEL::general_profile_idc},
    {"general_progressive_source_flag", &PROFILE_TIER_LEVEL::general_progressive_source_flag},
    {"general_interlaced_source_flag", &PROFILE_TIER_LEVEL::general_interlaced_source_flag},
    {"general_non_packed_constraint_flag", &PROFILE_TIER_LEVEL::general_non_packed_constraint_flag},
    {"general_frame_only_constraint_flag", &PROFILE_TIER_LEVEL::general_frame_only_constraint_flag},
    {"general_reserved_zero_44bits", &PROFILE_TIER_LEVEL::general_reserved_zero_44bits},
    {"general_level_idc", &PROFILE_TIER_LEVEL::general_level_idc},
};

// maxNumSubLayersMinus1 entries each. The present flags and sub_layer_level_idc
// (0 when not coded) are in every expected file; the sub-layer profile fields
// only when sub_layer_profile_present_flag is 1.
struct PtlSubLayerField {
    const char* name;
    unsigned int* PROFILE_TIER_LEVEL::*member;
    bool inEveryExpectedFile;
};

const PtlSubLayerField kPtlSubLayerFields[] = {
    {"sub_layer_profile_present_flag", &PROFILE_TIER_LEVEL::sub_layer_profile_present_flag, true},
    {"sub_layer_level_present_flag", &PROFILE_TIER_LEVEL::sub_layer_level_present_flag, true},
    {"sub_layer_profile_space", &PROFILE_TIER_LEVEL::sub_layer_profile_space, false},
    {"sub_layer_tier_flag", &PROFILE_TIER_LEVEL::sub_layer_tier_flag, false},
    {"sub_layer_profile_idc", &PROFILE_TIER_LEVEL::sub_layer_profile_idc, false},
    {"sub_layer_progressive_source_flag", &PROFILE_TIER_LEVEL::sub_layer_progressive_source_flag, false},
    {"sub_layer_interlaced_source_flag", &PROFILE_TIER_LEVEL::sub_layer_interlaced_source_flag, false},
    {"sub_layer_non_packed_constraint_flag", &PROFILE_TIER_LEVEL::sub_layer_non_packed_constraint_flag, false},
    {"sub_layer_frame_only_constraint_flag", &PROFILE_TIER_LEVEL::sub_layer_frame_only_constraint_flag, false},
    {"sub_layer_level_idc", &PROFILE_TIER_LEVEL::sub_layer_level_idc, true},
};

struct PpsField {
    const char* name;
    unsigned int PIC_PARAMETER_SET::*member;
};

const PpsField kPpsFields[] = {
    {"pps_pic_parameter_set_id", &PIC_PARAMETER_SET::pps_pic_parameter_set_id},
    {"pps_seq_parameter_set_id", &PIC_PARAMETER_SET::pps_seq_parameter_set_id},
    {"dependent_slice_segments_enabled_flag", &PIC_PARAMETER_SET::dependent_slice_segments_enabled_flag},
    {"output_flag_present_flag", &PIC_PARAMETER_SET::output_flag_present_flag},
    {"num_extra_slice_header_bits", &PIC_PARAMETER_SET::num_extra_slice_header_bits},
    {"sign_data_hiding_enabled_flag", &PIC_PARAMETER_SET::sign_data_hiding_enabled_flag},
    {"cabac_init_present_flag", &PIC_PARAMETER_SET::cabac_init_present_flag},
};

std::string Indexed(const std::string& name, unsigned int i) {
    return name + "[" + std::to_string(i) + "]";
}

std::string Indexed(const std::string& name, unsigned int i, unsigned int j) {
    return Indexed(name, i) + "[" + std::to_string(j) + "]";
}

// Keys of one prefix ("sps.", "ptl.", "pps.") in an expected file.
std::set<std::string> KeysWithPrefix(const Expected& expected, const std::string& prefix) {
    std::set<std::string> keys;
    for (const auto& kv : expected.values)
        if (kv.first.compare(0, prefix.size(), prefix) == 0)
            keys.insert(kv.first);
    return keys;
}

// Compares one value and records that the key was checked.
void CheckValue(const Expected& expected, const std::string& key, unsigned long long actual,
                std::set<std::string>* checked) {
    checked->insert(key);
    ASSERT_TRUE(expected.Has(key)) << "the expected file lacks " << key;
    EXPECT_EQ(expected.Value(key), actual) << key;
}

// Every key of the prefix in the expected file must have been compared, so
// that a field the library does not keep (or a misspelt key) cannot pass unseen.
void CheckNothingLeftOver(const Expected& expected, const std::string& prefix, const std::set<std::string>& checked) {
    for (const std::string& key : KeysWithPrefix(expected, prefix))
        EXPECT_TRUE(checked.count(key)) << key << " is in the expected file but was not compared";
}

// ---------------------------------------------------------------------------

class RealStream : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const std::string name = GetParam();
        inputfiles::ReadFile(kDataDir + "/" + name, data_);
        ASSERT_FALSE(data_.empty()) << "cannot read " << name;
        expected_ = LoadExpected(kDataDir + "/" + name + kExpectedSuffix);
        for (const std::string& error : expected_.errors)
            ADD_FAILURE() << "unreadable expected line: " << error;
        ASSERT_TRUE(expected_.errors.empty());
        chunks_ = SplitAnnexB(data_);
        parser_ = CreateH265Parser();
        headerParser_ = CreateH265HeaderParser();
        ASSERT_NE(nullptr, parser_);
        ASSERT_NE(nullptr, headerParser_);
    }

    void TearDown() override {
        ReleaseH265Parser(&parser_);
        ReleaseVideoHeaderParser(&headerParser_);
    }

    const unsigned char* Data() const { return data_.data(); }
    unsigned int Size() const { return static_cast<unsigned int>(data_.size()); }
    const unsigned char* ChunkData(const NalChunk& c) const { return data_.data() + c.begin; }

    // ParseSPS / ParsePPS of the whole file: each takes the first of its kind.
    // The library signals data that ends too early by throwing an int.
    ::testing::AssertionResult ParseParameterSets() {
        try {
            if (!parser_->ParseSPS(Data(), Size()))
                return ::testing::AssertionFailure() << "ParseSPS returned false";
            if (!parser_->ParsePPS(Data(), Size()))
                return ::testing::AssertionFailure() << "ParsePPS returned false";
        } catch (int signal) {
            return ::testing::AssertionFailure() << "parsing the parameter sets threw " << signal;
        }
        return ::testing::AssertionSuccess();
    }

    const SEQ_PARAMETER_SET& Sps() { return static_cast<CSPSInfo*>(parser_->GetSPS())->sps; }
    const PIC_PARAMETER_SET& Pps() { return static_cast<CPPSInfo*>(parser_->GetPPS())->pps; }

    std::vector<unsigned char> data_;
    Expected expected_;
    std::vector<NalChunk> chunks_;
    IH265Parser* parser_ = nullptr;
    IVideoHeaderParser* headerParser_ = nullptr;
};

// --- NAL unit splitting -----------------------------------------------------

TEST_P(RealStream, NalUnitsMatchTheTrace) {
    ASSERT_TRUE(expected_.Has("nal_count"));
    ASSERT_EQ(expected_.Value("nal_count"), expected_.nals.size());
    ASSERT_EQ(expected_.nals.size(), chunks_.size()) << "NAL units found by splitting vs traced";
    for (size_t i = 0; i < chunks_.size(); ++i) {
        EXPECT_EQ(static_cast<int>(i), expected_.nals[i].index);
        // Aligns the split with the trace before anything is asked of the library.
        EXPECT_EQ(expected_.nals[i].nalUnitType, chunks_[i].nalUnitType) << "NAL unit " << i;
    }
}

// --- Sequence parameter set -------------------------------------------------

TEST_P(RealStream, SequenceParameterSetFields) {
    ASSERT_TRUE(ParseParameterSets());
    const SEQ_PARAMETER_SET& sps = Sps();
    std::set<std::string> checked;
    for (const SpsField& f : kSpsFields)
        CheckValue(expected_, std::string("sps.") + f.name, sps.*f.member, &checked);

    const unsigned int count = sps.sps_max_sub_layers_minus1 + 1;
    for (const SpsArray& a : kSpsArrays) {
        ASSERT_NE(nullptr, sps.*a.member) << a.name;
        for (unsigned int i = 0; i < count; ++i)
            CheckValue(expected_, "sps." + Indexed(a.name, i), (sps.*a.member)[i], &checked);
    }
    CheckNothingLeftOver(expected_, "sps.", checked);
}

TEST_P(RealStream, ProfileTierLevelFields) {
    ASSERT_TRUE(ParseParameterSets());
    const SEQ_PARAMETER_SET& sps = Sps();
    ASSERT_NE(nullptr, sps.ptl);
    const PROFILE_TIER_LEVEL& ptl = *sps.ptl;
    EXPECT_EQ(sps.sps_max_sub_layers_minus1, ptl.maxNumSubLayersMinus1);

    std::set<std::string> checked;
    for (const PtlField& f : kPtlGeneralFields)
        CheckValue(expected_, std::string("ptl.") + f.name, ptl.*f.member, &checked);
    for (unsigned int j = 0; j < 32; ++j)
        CheckValue(expected_, "ptl." + Indexed("general_profile_compatibility_flag", j),
                   ptl.general_profile_compatibility_flag[j], &checked);

    // Per sub-layer: the two present flags and sub_layer_level_idc are in every
    // expected file; the sub-layer profile fields only when the stream codes them.
    for (unsigned int i = 0; i < ptl.maxNumSubLayersMinus1; ++i) {
        for (const PtlSubLayerField& f : kPtlSubLayerFields) {
            const std::string key = "ptl." + Indexed(f.name, i);
            if (!f.inEveryExpectedFile && !expected_.Has(key))
                continue;
            ASSERT_NE(nullptr, ptl.*f.member) << f.name;
            CheckValue(expected_, key, (ptl.*f.member)[i], &checked);
        }
        const std::string reserved = "ptl." + Indexed("sub_layer_reserved_zero_44bits", i);
        if (expected_.Has(reserved))
            CheckValue(expected_, reserved, ptl.sub_layer_reserved_zero_44bits[i], &checked);
        for (unsigned int j = 0; j < 32; ++j) {
            const std::string key = "ptl." + Indexed("sub_layer_profile_compatibility_flag", i, j);
            if (expected_.Has(key))
                CheckValue(expected_, key, ptl.sub_layer_profile_compatibility_flag[i][j], &checked);
        }
    }
    CheckNothingLeftOver(expected_, "ptl.", checked);
}

// --- Picture parameter set --------------------------------------------------

TEST_P(RealStream, PictureParameterSetFields) {
    ASSERT_TRUE(ParseParameterSets());
    const PIC_PARAMETER_SET& pps = Pps();
    std::set<std::string> checked;
    for (const PpsField& f : kPpsFields)
        CheckValue(expected_, std::string("pps.") + f.name, pps.*f.member, &checked);
    CheckNothingLeftOver(expected_, "pps.", checked);
}

// --- Whole-buffer queries of the header parser -------------------------------

TEST_P(RealStream, ResolutionAndParameterSetsOfTheWholeStream) {
    ASSERT_TRUE(expected_.Has("resolution"));
    ASSERT_TRUE(expected_.Has("has_parameter_sets"));
    const int len = static_cast<int>(data_.size());
    int width = -1, height = -1;
    try {
        EXPECT_TRUE(headerParser_->GetResolution(Data(), len, &width, &height));
        EXPECT_EQ(expected_.Value("resolution", 0), static_cast<unsigned long long>(width));
        EXPECT_EQ(expected_.Value("resolution", 1), static_cast<unsigned long long>(height));
        EXPECT_EQ(expected_.Value("has_parameter_sets") != 0, headerParser_->HasParameterSets(Data(), len));
    } catch (int signal) {
        FAIL() << "threw " << signal;
    }
}

// --- Each NAL unit handed alone: classification -------------------------------

TEST_P(RealStream, NalUnitTypeCodesAndKeyFrameVerdicts) {
    ASSERT_EQ(expected_.nals.size(), chunks_.size());
    for (size_t i = 0; i < chunks_.size(); ++i) {
        const ExpectedNal& e = expected_.nals[i];
        const unsigned char* p = ChunkData(chunks_[i]);
        const unsigned int len = static_cast<unsigned int>(chunks_[i].size);
        int code = -1;
        EXPECT_TRUE(parser_->ParseNaluType(p, len, &code)) << "NAL unit " << i;
        EXPECT_EQ(e.code, code) << "ParseNaluType, NAL unit " << i << " (nal_unit_type " << e.nalUnitType << ")";
        EXPECT_EQ(e.code, headerParser_->GetNaluType(p, static_cast<int>(len)))
            << "GetNaluType, NAL unit " << i << " (nal_unit_type " << e.nalUnitType << ")";
        EXPECT_EQ(e.key, headerParser_->IsKeyFrame(p, static_cast<int>(len)))
            << "IsKeyFrame, NAL unit " << i << " (nal_unit_type " << e.nalUnitType << ")";
    }
}

// --- Each slice segment handed alone: picture type --------------------------

TEST_P(RealStream, SliceTypesOfEverySliceSegment) {
    ASSERT_EQ(expected_.nals.size(), chunks_.size());
    ASSERT_TRUE(ParseParameterSets());
    const int kUnset = 99;
    int slices = 0;
    for (size_t i = 0; i < chunks_.size(); ++i) {
        const ExpectedNal& e = expected_.nals[i];
        EXPECT_EQ(e.nalUnitType < 32, e.isSlice) << "NAL unit " << i;
        if (!e.isSlice)
            continue;
        ++slices;
        const unsigned char* p = ChunkData(chunks_[i]);
        const unsigned int len = static_cast<unsigned int>(chunks_[i].size);
        try {
            if (e.dependent) {
                // slice_type is not coded in a dependent slice segment: nothing
                // is written, whatever the outputs held before.
                for (bool firstBefore : {false, true}) {
                    int type = kUnset;
                    bool first = firstBefore;
                    EXPECT_FALSE(parser_->ParseSliceType(p, len, &type, &first)) << "dependent, NAL unit " << i;
                    EXPECT_EQ(kUnset, type) << "dependent, NAL unit " << i;
                    EXPECT_EQ(firstBefore, first) << "dependent, NAL unit " << i;
                }
            } else {
                int type = kUnset;
                bool first = e.first == 0; // the opposite of the answer
                EXPECT_TRUE(parser_->ParseSliceType(p, len, &type, &first))
                    << "NAL unit " << i << " (nal_unit_type " << e.nalUnitType << ")";
                EXPECT_EQ(e.sliceCode, type) << "NAL unit " << i << " (nal_unit_type " << e.nalUnitType << ")";
                EXPECT_EQ(e.first != 0, first) << "first_slice_segment_in_pic_flag, NAL unit " << i;
            }
        } catch (int signal) {
            ADD_FAILURE() << "ParseSliceType threw " << signal << " on NAL unit " << i;
        }
    }
    EXPECT_GT(slices, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealStream, ::testing::ValuesIn(ListStreams()), TestNameOf);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealStream);

// --- The corpus as a whole ---------------------------------------------------

struct StreamFacts {
    std::string name;
    Expected expected;
    std::vector<NalChunk> chunks;
};

std::vector<StreamFacts> LoadCorpus() {
    std::vector<StreamFacts> corpus;
    for (const std::string& name : ListStreams()) {
        StreamFacts facts;
        facts.name = name;
        facts.expected = LoadExpected(kDataDir + "/" + name + kExpectedSuffix);
        std::vector<unsigned char> data;
        inputfiles::ReadFile(kDataDir + "/" + name, data);
        facts.chunks = SplitAnnexB(data);
        corpus.push_back(facts);
    }
    return corpus;
}

unsigned long long CtbSize(const Expected& e) {
    return 1ull << (e.Value("sps.log2_min_luma_coding_block_size_minus3") + 3 +
                    e.Value("sps.log2_diff_max_min_luma_coding_block_size"));
}

bool HasNal(const StreamFacts& s, bool (*predicate)(const ExpectedNal&)) {
    return std::any_of(s.expected.nals.begin(), s.expected.nals.end(), predicate);
}

template <int Type> bool NalOfType(const ExpectedNal& n) { return n.nalUnitType == Type; }

// What tests/data/README.md says the corpus covers; a stream that is dropped or
// regenerated differently must not take a feature away unnoticed.
struct CorpusFeature {
    const char* description;
    bool (*present)(const StreamFacts&);
};

const CorpusFeature kCorpusFeatures[] = {
    {"4:0:0", [](const StreamFacts& s) { return s.expected.Value("sps.chroma_format_idc") == 0; }},
    {"4:2:0", [](const StreamFacts& s) { return s.expected.Value("sps.chroma_format_idc") == 1; }},
    {"4:2:2", [](const StreamFacts& s) { return s.expected.Value("sps.chroma_format_idc") == 2; }},
    {"4:4:4", [](const StreamFacts& s) { return s.expected.Value("sps.chroma_format_idc") == 3; }},
    {"8-bit", [](const StreamFacts& s) { return s.expected.Value("sps.bit_depth_luma_minus8") == 0; }},
    {"10-bit", [](const StreamFacts& s) { return s.expected.Value("sps.bit_depth_luma_minus8") == 2; }},
    {"12-bit", [](const StreamFacts& s) { return s.expected.Value("sps.bit_depth_luma_minus8") == 4; }},
    {"general_profile_idc 4 (constraint flags inside the 44 reserved bits)",
     [](const StreamFacts& s) { return s.expected.Value("ptl.general_profile_idc") == 4; }},
    {"conformance window", [](const StreamFacts& s) { return s.expected.Value("sps.conformance_window_flag") == 1; }},
    {"4:0:0 with a conformance window",
     [](const StreamFacts& s) {
         return s.expected.Value("sps.chroma_format_idc") == 0 && s.expected.Value("sps.conformance_window_flag") == 1;
     }},
    {"no conformance window",
     [](const StreamFacts& s) { return s.expected.Value("sps.conformance_window_flag") == 0; }},
    {"16x16 CTBs", [](const StreamFacts& s) { return CtbSize(s.expected) == 16; }},
    {"32x32 CTBs", [](const StreamFacts& s) { return CtbSize(s.expected) == 32; }},
    {"64x64 CTBs", [](const StreamFacts& s) { return CtbSize(s.expected) == 64; }},
    {"8x8 minimum CU",
     [](const StreamFacts& s) { return s.expected.Value("sps.log2_min_luma_coding_block_size_minus3") == 0; }},
    {"16x16 minimum CU",
     [](const StreamFacts& s) { return s.expected.Value("sps.log2_min_luma_coding_block_size_minus3") == 1; }},
    {"temporal sub-layers", [](const StreamFacts& s) { return s.expected.Value("sps.sps_max_sub_layers_minus1") > 0; }},
    {"sub-layer ordering info for the highest sub-layer only",
     [](const StreamFacts& s) {
         return s.expected.Value("sps.sps_max_sub_layers_minus1") > 0 &&
                s.expected.Value("sps.sps_sub_layer_ordering_info_present_flag") == 0;
     }},
    {"sub-layer ordering info for every sub-layer",
     [](const StreamFacts& s) {
         return s.expected.Value("sps.sps_max_sub_layers_minus1") > 0 &&
                s.expected.Value("sps.sps_sub_layer_ordering_info_present_flag") == 1;
     }},
    {"sign_data_hiding_enabled_flag 1",
     [](const StreamFacts& s) { return s.expected.Value("pps.sign_data_hiding_enabled_flag") == 1; }},
    {"dependent_slice_segments_enabled_flag 1",
     [](const StreamFacts& s) { return s.expected.Value("pps.dependent_slice_segments_enabled_flag") == 1; }},
    {"TSA_N pictures", [](const StreamFacts& s) { return HasNal(s, NalOfType<2>); }},
    {"RADL pictures",
     [](const StreamFacts& s) { return HasNal(s, NalOfType<6>) || HasNal(s, NalOfType<7>); }},
    {"RASL pictures",
     [](const StreamFacts& s) { return HasNal(s, NalOfType<8>) || HasNal(s, NalOfType<9>); }},
    {"IDR_W_RADL", [](const StreamFacts& s) { return HasNal(s, NalOfType<19>); }},
    {"IDR_N_LP", [](const StreamFacts& s) { return HasNal(s, NalOfType<20>); }},
    {"CRA", [](const StreamFacts& s) { return HasNal(s, NalOfType<21>); }},
    {"BLA_W_LP", [](const StreamFacts& s) { return HasNal(s, NalOfType<16>); }},
    {"BLA_W_RADL", [](const StreamFacts& s) { return HasNal(s, NalOfType<17>); }},
    {"BLA_N_LP", [](const StreamFacts& s) { return HasNal(s, NalOfType<18>); }},
    {"access unit delimiters", [](const StreamFacts& s) { return HasNal(s, NalOfType<35>); }},
    {"prefix SEI", [](const StreamFacts& s) { return HasNal(s, NalOfType<39>); }},
    {"suffix SEI", [](const StreamFacts& s) { return HasNal(s, NalOfType<40>); }},
    {"I, P and B slices",
     [](const StreamFacts& s) {
         return HasNal(s, [](const ExpectedNal& n) { return n.isSlice && !n.dependent && n.sliceCode == 8; }) &&
                HasNal(s, [](const ExpectedNal& n) { return n.sliceCode == 9; }) &&
                HasNal(s, [](const ExpectedNal& n) { return n.sliceCode == 10; });
     }},
    {"several independent slices per picture",
     [](const StreamFacts& s) {
         return HasNal(s, [](const ExpectedNal& n) { return n.isSlice && !n.dependent && n.first == 0; });
     }},
    {"dependent slice segments", [](const StreamFacts& s) { return HasNal(s, [](const ExpectedNal& n) { return n.dependent; }); }},
    {"dependent slice segments of IDR_W_RADL pictures",
     [](const StreamFacts& s) {
         return HasNal(s, [](const ExpectedNal& n) { return n.nalUnitType == 19 && n.first == 0; }) &&
                s.expected.Value("pps.dependent_slice_segments_enabled_flag") == 1;
     }},
    {"repeated parameter sets",
     [](const StreamFacts& s) {
         return std::count_if(s.expected.nals.begin(), s.expected.nals.end(), NalOfType<33>) > 1;
     }},
    {"3-byte start codes",
     [](const StreamFacts& s) {
         return std::any_of(s.chunks.begin(), s.chunks.end(), [](const NalChunk& c) { return c.startCodeLength == 3; });
     }},
    {"4-byte start codes",
     [](const StreamFacts& s) {
         return std::any_of(s.chunks.begin(), s.chunks.end(), [](const NalChunk& c) { return c.startCodeLength == 4; });
     }},
};

TEST(RealStreamCorpus, CoversTheListedStreamFeatures) {
    const std::vector<StreamFacts> corpus = LoadCorpus();
    ASSERT_FALSE(corpus.empty()) << "no stream with an expected file in " << kDataDir;
    for (const CorpusFeature& feature : kCorpusFeatures) {
        EXPECT_TRUE(std::any_of(corpus.begin(), corpus.end(), feature.present))
            << "no stream in the corpus has: " << feature.description;
    }
}

} // namespace
