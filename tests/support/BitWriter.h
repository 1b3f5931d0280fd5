// Builds H.265 byte strings for tests: u(n), ue(v) and se(v) fields, NAL units
// with emulation prevention, and SPS/PPS/slice payloads from field values.
#ifndef H265HEADERS_TESTS_BIT_WRITER_H
#define H265HEADERS_TESTS_BIT_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

class BitWriter {
public:
    BitWriter& U(uint64_t value, int bits); // u(n), most significant bit first
    BitWriter& UE(uint32_t value);          // ue(v), any 32-bit code number
    BitWriter& SE(int32_t value);           // se(v)
    BitWriter& ZeroBits(int count);         // a run of 0 bits
    // rbsp_trailing_bits(): a 1 bit, then 0 bits to the byte boundary.
    BitWriter& TrailingBits();
    // The bits so far, the last byte padded with 0 bits.
    Bytes Data() const;
    size_t BitCount() const { return m_bits.size(); }

private:
    std::vector<bool> m_bits;
};

// Bytes from hexadecimal text such as "00 00 01 42".
Bytes Hex(const std::string& text);

// A NAL unit behind a start code of 3 or 4 bytes: the two-byte header for
// nal_unit_type (nuh_layer_id 0, nuh_temporal_id_plus1 1) and the payload
// with an emulation_prevention_three_byte inserted wherever the payload
// needs one.
Bytes Nal(int nal_unit_type, const Bytes& rbsp, int startCodeBytes = 4);

// Inserts emulation_prevention_three_byte into an RBSP.
Bytes Escape(const Bytes& rbsp);

Bytes Concat(const std::vector<Bytes>& parts);

// Field values of a sequence parameter set as the library reads it.
struct SpsFields {
    uint32_t sps_video_parameter_set_id = 0;
    uint32_t sps_max_sub_layers_minus1 = 0;
    uint32_t sps_temporal_id_nesting_flag = 1;
    uint32_t general_profile_space = 0;
    uint32_t general_tier_flag = 0;
    uint32_t general_profile_idc = 1;
    uint32_t general_profile_compatibility_flags = 0x60000000; // bit 31 is flag[0]
    uint32_t general_progressive_source_flag = 1;
    uint32_t general_interlaced_source_flag = 0;
    uint32_t general_non_packed_constraint_flag = 0;
    uint32_t general_frame_only_constraint_flag = 1;
    uint64_t general_reserved_zero_44bits = 0;
    uint32_t general_level_idc = 93;
    std::vector<uint32_t> sub_layer_profile_present_flag; // per sub-layer
    std::vector<uint32_t> sub_layer_level_present_flag;
    std::vector<uint32_t> sub_layer_profile_idc;
    std::vector<uint64_t> sub_layer_reserved_zero_44bits;
    std::vector<uint32_t> sub_layer_level_idc;
    uint32_t sps_seq_parameter_set_id = 0;
    uint32_t chroma_format_idc = 1;
    uint32_t separate_colour_plane_flag = 0;
    uint32_t pic_width_in_luma_samples = 1920;
    uint32_t pic_height_in_luma_samples = 1080;
    uint32_t conformance_window_flag = 0;
    uint32_t conf_win_offsets[4] = {0, 0, 0, 0};
    uint32_t bit_depth_luma_minus8 = 0;
    uint32_t bit_depth_chroma_minus8 = 0;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 4;
    uint32_t sps_sub_layer_ordering_info_present_flag = 1;
    std::vector<uint32_t> ordering; // 3 values per coded sub-layer entry
    uint32_t log2_min_luma_coding_block_size_minus3 = 0;
    uint32_t log2_diff_max_min_luma_coding_block_size = 3;
};

// seq_parameter_set_rbsp() up to log2_diff_max_min_luma_coding_block_size,
// followed by a few more fields and the trailing bits.
Bytes SpsRbsp(const SpsFields& f);

#endif
