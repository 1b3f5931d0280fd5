# The source files of the tools' libraries, named once for every build that
# compiles them: tools/CMakeLists.txt, and the fuzzing build (fuzz/), which
# has no tools of its own. Paths are relative to tools/.

# The tools' own reader of the syntax the library does not read: the whole
# SPS with its VUI, the VPS timing, the slice header up to the picture order
# count, picture order count itself and the HDR SEI messages, kept with the
# parameter sets by id. Needs only the library.
set(H265_TOOLS_SYNTAX_SOURCES
  support/SyntaxError.cpp support/RbspBits.cpp support/ProfileTierLevelSyntax.cpp support/ScalingListData.cpp
  support/ShortTermRefPicSet.cpp support/HrdParameters.cpp support/VuiParameters.cpp support/SpsSyntax.cpp
  support/VpsSyntax.cpp support/PpsSyntax.cpp support/SlicePocHeader.cpp support/SliceReferencePictures.cpp
  support/PictureOrderCount.cpp support/HdrSei.cpp support/SlicePicParameterSetId.cpp support/ParameterSets.cpp
  support/StreamTiming.cpp support/OutputOrder.cpp)

# What every tool that walks a stream needs besides: the input named on the
# command line (a file, or standard input for "-"), its NAL units read
# through a bounded window, a progress line, the library's listings, and the
# picture reader both tools read each NAL unit with.
set(H265_TOOLS_SUPPORT_SOURCES ${H265_TOOLS_SYNTAX_SOURCES}
  support/StreamInput.cpp support/NalUnitReader.cpp support/NalUnitReaderNeon.cpp support/Progress.cpp support/Listing.cpp
  support/GeneralProfileTierLevel.cpp support/SpsDescription.cpp support/CommandLine.cpp support/FrameRate.cpp
  support/ColourNames.cpp support/SampleAspectRatio.cpp support/InputKind.cpp support/CountedNoun.cpp
  support/PictureReader.cpp support/UtcTime.cpp)

# The fragmented MP4 and HLS writer, in memory (namespace mp4): ISO BMFF
# boxes, hvcC and the codec string, init segments, movie fragments of samples
# whose times the caller gives, the playlists. It knows neither files nor
# the H.265 output order.
set(H265_TOOLS_MP4_SOURCES
  mp4/BoxWriter.cpp mp4/HvcC.cpp mp4/CodecString.cpp mp4/InitSegment.cpp mp4/VisualDescription.cpp
  mp4/MediaFragment.cpp mp4/SampleData.cpp mp4/Fragmenter.cpp mp4/HlsPlaylist.cpp
  mp4/ProducerReferenceTime.cpp)

# Camera input over RTP (namespace rtp): RTP packets, their sequence order,
# H.265 RTP payloads joined into Annex B access units, and the frames of RTP
# interleaved in a TCP connection. Needs nothing but the C++ library.
set(H265_TOOLS_RTP_SOURCES
  rtp/RtpPacket.cpp rtp/SequenceReorder.cpp rtp/DecodingOrderBuffer.cpp rtp/TimestampUnwrapper.cpp
  rtp/H265Depacketizer.cpp rtp/InterleavedFraming.cpp rtp/FrameDurations.cpp)

# The RTSP client that records a camera (namespace rtsp): the session's
# requests and responses, the SDP's H.265 media, authentication, RTCP sender
# reports, and RTP over TCP or UDP. The parts that read what the server sends
# work on bytes alone; only RtspClient and Socket touch the network.
set(H265_TOOLS_RTSP_PARSING_SOURCES
  rtsp/RtspUrl.cpp rtsp/RtspResponse.cpp rtsp/InterleavedReader.cpp rtsp/Sdp.cpp rtsp/Base64.cpp rtsp/Md5.cpp
  rtsp/Authentication.cpp rtsp/RtcpPacket.cpp rtsp/TransportHeader.cpp rtsp/SessionHeader.cpp
  rtsp/TextFields.cpp)
set(H265_TOOLS_RTSP_SOURCES ${H265_TOOLS_RTSP_PARSING_SOURCES}
  rtsp/RtspRequest.cpp rtsp/Socket.cpp rtsp/RtspClient.cpp)

# h265split without its main(): the walk, the cut rules, the outputs and the
# file layer.
set(H265_SPLIT_SOURCES
  h265split/Options.cpp h265split/Messages.cpp h265split/OutputFiles.cpp h265split/EarlierRun.cpp
  h265split/EarlierFiles.cpp h265split/BoxHeader.cpp h265split/SegmentContents.cpp h265split/TornRecording.cpp
  h265split/ResumedRun.cpp h265split/SegmentFile.cpp h265split/SegmentIndex.cpp
  h265split/AccessUnitAssembler.cpp h265split/AccessUnitReader.cpp h265split/Archive.cpp h265split/Segmenter.cpp
  h265split/TrackFormat.cpp h265split/WallClock.cpp h265split/FileStore.cpp h265split/RecordingClock.cpp h265split/SampleClock.cpp h265split/Mp4Track.cpp
  h265split/FragmentedSegment.cpp h265split/HlsOutput.cpp h265split/Mp4FileOutput.cpp
  h265split/FormatOutput.cpp h265split/CameraAbsence.cpp h265split/CameraTimestamps.cpp h265split/CameraInput.cpp h265split/Split.cpp)
