/*
 * h265headers: inspect H.265/HEVC Annex B byte-stream buffers before decoding.
 *
 * This is the one header a caller needs. Objects are made by the exported
 * Create* functions and given back to the matching Release* function; a caller
 * never deletes one itself. Interfaces are abstract classes whose virtual
 * operations keep a fixed slot order, so that the binary interface stays stable
 * across releases of the shared object.
 *
 * Conventions shared by every operation:
 *  - Stream data is passed as a pointer to its first byte and its length.
 *    The library never writes to it and keeps no pointer into it after a call.
 *  - Data that ends before the syntax being read does is reported by a thrown
 *    int of value 1 (the end-of-data signal); exhausted memory by std::bad_alloc.
 *    Nothing else is thrown, printed or logged.
 */
#ifndef H265HEADERS_H
#define H265HEADERS_H

#if defined(_WIN32)
#define H265HEADERS_API
#else
#define H265HEADERS_API __attribute__((visibility("default")))
#endif

typedef unsigned char BYTE;

/* Codes given by ParseNaluType, GetNaluType and ParseSliceType. The numbers
 * are fixed: callers compare against them. 3 and 6 are never produced; -1 (not
 * an enumerator) means that nothing was classified. */
enum NALU_TYPE {
    NALU_TYPE_VPS = 0,        /* nal_unit_type 32 */
    NALU_TYPE_SPS = 1,        /* nal_unit_type 33 */
    NALU_TYPE_PPS = 2,        /* nal_unit_type 34 */
    NALU_TYPE_SEI_PREFIX = 4, /* nal_unit_type 39 */
    NALU_TYPE_SEI_SUFFIX = 5, /* nal_unit_type 40 */
    NALU_TYPE_SLICE = 7,      /* VCL nal_unit_type 0..31 except 19 */
    NALU_TYPE_I_FRAME = 8,    /* IDR_W_RADL, or slice_type I */
    NALU_TYPE_P_FRAME = 9,    /* slice_type P */
    NALU_TYPE_B_FRAME = 10,   /* slice_type B */
    NALU_TYPE_OTHER = 11      /* AUD, EOS, EOB, FD, reserved and unspecified types */
};

/* profile_tier_level( 1, maxNumSubLayersMinus1 ) as read from an SPS. Every
 * per-sub-layer pointer is null when maxNumSubLayersMinus1 is 0; otherwise it
 * points to maxNumSubLayersMinus1 entries, of which only those whose syntax
 * element is present in the stream are written. */
struct PROFILE_TIER_LEVEL {
    unsigned int maxNumSubLayersMinus1;
    unsigned int general_profile_space;
    unsigned int general_tier_flag;
    unsigned int general_profile_idc;
    unsigned int general_profile_compatibility_flag[32];
    unsigned int general_progressive_source_flag;
    unsigned int general_interlaced_source_flag;
    unsigned int general_non_packed_constraint_flag;
    unsigned int general_frame_only_constraint_flag;
    unsigned int general_reserved_zero_44bits; /* low 32 bits of the 44-bit field */
    unsigned int general_level_idc;
    unsigned int* sub_layer_profile_present_flag;
    unsigned int* sub_layer_level_present_flag;
    unsigned int* sub_layer_profile_space;
    unsigned int* sub_layer_tier_flag;
    unsigned int* sub_layer_profile_idc;
    unsigned int** sub_layer_profile_compatibility_flag; /* 32 flags per sub-layer */
    unsigned int* sub_layer_progressive_source_flag;
    unsigned int* sub_layer_interlaced_source_flag;
    unsigned int* sub_layer_non_packed_constraint_flag;
    unsigned int* sub_layer_frame_only_constraint_flag;
    unsigned long long* sub_layer_reserved_zero_44bits; /* low 32 bits of the field */
    unsigned int* sub_layer_level_idc;
};

class CH264BitInStream;

namespace H265Parser {

/* A parsed sequence parameter set, owned by its IH265Parser. Valid until the
 * next ParseSPS on that parser or its release. */
class ISPS {
public:
    /* Coded size in luma samples (pic_width/height_in_luma_samples), before
     * conformance-window cropping. False, with nothing written, when either
     * pointer is null. */
    virtual bool GetPicSize(int* width, int* height) = 0;
    /* Text listing, one field per line. With a null buffer: returns the size
     * needed including the terminating NUL. Otherwise writes the text and NUL
     * and returns the same size. The buffer size is not checked. */
    virtual int Dump(char* buffer) = 0;

protected:
    ~ISPS() {}
};

/* A parsed picture parameter set, owned by its IH265Parser. Valid until the
 * next ParsePPS on that parser or its release. */
class IPPS {
public:
    virtual int Dump(char* buffer) = 0; /* as ISPS::Dump */

protected:
    ~IPPS() {}
};

} // namespace H265Parser

/* The H.265 parser: individual parse steps and the parsed records. */
class IH265Parser {
public:
    /* NALU_TYPE code of the first NAL unit in the buffer. */
    virtual bool ParseNaluType(const unsigned char* data, unsigned int len, int* type) = 0;
    /* Parses the first SPS of the buffer into a new record. */
    virtual bool ParseSPS(const unsigned char* data, unsigned int len) = 0;
    /* Parses the first PPS of the buffer into a new record. */
    virtual bool ParsePPS(const unsigned char* data, unsigned int len) = 0;
    /* Picture type (NALU_TYPE_I/P/B_FRAME) of the first VCL NAL unit, using
     * the current SPS and PPS records; firstSliceInPic may be null. */
    virtual bool ParseSliceType(const unsigned char* data, unsigned int len, int* type,
                                bool* firstSliceInPic) = 0;
    virtual H265Parser::ISPS* GetSPS() = 0;
    virtual H265Parser::IPPS* GetPPS() = 0;

protected:
    ~IH265Parser() {}
};

/* The codec-neutral header parser with its four coarse queries. */
class IVideoHeaderParser {
public:
    virtual ~IVideoHeaderParser() {}
    /* Coded picture size from the first SPS; 0 x 0 when there is none. */
    virtual bool GetResolution(const unsigned char* data, int len, int* width, int* height) = 0;
    /* NALU_TYPE code of the first NAL unit, or -1. */
    virtual int GetNaluType(const unsigned char* data, int len) = 0;
    /* 1: starts a key frame (VPS, SPS or an IRAP picture); 2: starts another
     * picture; 0: neither. */
    virtual int IsKeyFrame(const unsigned char* data, int len) = 0;
    /* True when a VPS, an SPS and a PPS all come before the first picture. */
    virtual bool HasParameterSets(const unsigned char* data, int len) = 0;
};

extern "C" {
H265HEADERS_API IVideoHeaderParser* CreateH265HeaderParser();
H265HEADERS_API void ReleaseVideoHeaderParser(IVideoHeaderParser** parser);
H265HEADERS_API IH265Parser* CreateH265Parser();
H265HEADERS_API void ReleaseH265Parser(IH265Parser** parser);
}

/* Reads profile_tier_level( 1, ptl.maxNumSubLayersMinus1 ) from the bit reader.
 * When maxNumSubLayersMinus1 > 0 the per-sub-layer arrays must exist. */
H265HEADERS_API void profile_tier_level(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs);

#endif
