#include "BitWriter.h"

#include <cstdlib>
#include <sstream>

BitWriter& BitWriter::U(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i)
        m_bits.push_back(((value >> i) & 1u) != 0);
    return *this;
}

BitWriter& BitWriter::UE(uint32_t value) {
    uint64_t code = static_cast<uint64_t>(value) + 1;
    int length = 0;
    while ((code >> length) > 1)
        ++length;
    ZeroBits(length);
    return U(code, length + 1);
}

BitWriter& BitWriter::SE(int32_t value) {
    int64_t v = value;
    return UE(static_cast<uint32_t>(v > 0 ? 2 * v - 1 : -2 * v));
}

BitWriter& BitWriter::ZeroBits(int count) {
    m_bits.insert(m_bits.end(), static_cast<size_t>(count), false);
    return *this;
}

BitWriter& BitWriter::TrailingBits() {
    m_bits.push_back(true);
    while (m_bits.size() % 8)
        m_bits.push_back(false);
    return *this;
}

Bytes BitWriter::Data() const {
    Bytes out((m_bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < m_bits.size(); ++i)
        if (m_bits[i])
            out[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
    return out;
}

Bytes Hex(const std::string& text) {
    std::istringstream in(text);
    Bytes out;
    std::string byte;
    while (in >> byte)
        out.push_back(static_cast<unsigned char>(std::strtoul(byte.c_str(), 0, 16)));
    return out;
}

Bytes Escape(const Bytes& rbsp) {
    Bytes out;
    int zeros = 0;
    for (unsigned char b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

Bytes Nal(int nal_unit_type, const Bytes& rbsp, int startCodeBytes) {
    Bytes out;
    if (startCodeBytes == 4)
        out.push_back(0);
    out.push_back(0);
    out.push_back(0);
    out.push_back(1);
    out.push_back(static_cast<unsigned char>((nal_unit_type & 0x3F) << 1));
    out.push_back(1);
    Bytes payload = Escape(rbsp);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes SpsRbsp(const SpsFields& f) {
    BitWriter w;
    w.U(f.sps_video_parameter_set_id, 4).U(f.sps_max_sub_layers_minus1, 3).U(f.sps_temporal_id_nesting_flag, 1);
    // profile_tier_level( 1, sps_max_sub_layers_minus1 )
    w.U(f.general_profile_space, 2).U(f.general_tier_flag, 1).U(f.general_profile_idc, 5);
    w.U(f.general_profile_compatibility_flags, 32);
    w.U(f.general_progressive_source_flag, 1).U(f.general_interlaced_source_flag, 1);
    w.U(f.general_non_packed_constraint_flag, 1).U(f.general_frame_only_constraint_flag, 1);
    w.U(f.general_reserved_zero_44bits, 44).U(f.general_level_idc, 8);
    const uint32_t n = f.sps_max_sub_layers_minus1;
    for (uint32_t i = 0; i < n; ++i)
        w.U(f.sub_layer_profile_present_flag.at(i), 1).U(f.sub_layer_level_present_flag.at(i), 1);
    for (uint32_t i = n; n > 0 && i < 8; ++i)
        w.U(0, 2);
    for (uint32_t i = 0; i < n; ++i) {
        if (f.sub_layer_profile_present_flag[i]) {
            w.U(0, 2).U(0, 1).U(f.sub_layer_profile_idc.at(i), 5).U(0x40000000u, 32);
            w.U(1, 1).U(0, 1).U(0, 1).U(1, 1).U(f.sub_layer_reserved_zero_44bits.at(i), 44);
        }
        if (f.sub_layer_level_present_flag[i])
            w.U(f.sub_layer_level_idc.at(i), 8);
    }
    w.UE(f.sps_seq_parameter_set_id).UE(f.chroma_format_idc);
    if (f.chroma_format_idc == 3)
        w.U(f.separate_colour_plane_flag, 1);
    w.UE(f.pic_width_in_luma_samples).UE(f.pic_height_in_luma_samples);
    w.U(f.conformance_window_flag, 1);
    if (f.conformance_window_flag)
        for (uint32_t offset : f.conf_win_offsets)
            w.UE(offset);
    w.UE(f.bit_depth_luma_minus8).UE(f.bit_depth_chroma_minus8).UE(f.log2_max_pic_order_cnt_lsb_minus4);
    w.U(f.sps_sub_layer_ordering_info_present_flag, 1);
    const uint32_t entries = f.sps_sub_layer_ordering_info_present_flag ? n + 1 : 1;
    for (uint32_t i = 0; i < entries * 3; ++i)
        w.UE(i < f.ordering.size() ? f.ordering[i] : 1);
    w.UE(f.log2_min_luma_coding_block_size_minus3).UE(f.log2_diff_max_min_luma_coding_block_size);
    // log2_min_luma_transform_block_size_minus2 and a few more elements that
    // the library does not read.
    w.UE(0).UE(3).UE(2).UE(2).U(0, 1);
    return w.TrailingBits().Data();
}
