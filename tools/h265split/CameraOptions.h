// How h265split records a camera: its RTSP URL and how the session is kept.
#ifndef H265SPLIT_CAMERA_OPTIONS_H
#define H265SPLIT_CAMERA_OPTIONS_H

#include "RtspClient.h"
#include "RtspUrl.h"

namespace h265split {

struct CameraOptions {
    rtsp::RtspUrl url;
    rtsp::ClientOptions client;
    // No packet for this long: the session is taken for dead and opened again.
    int stallMs = 10000;
    // The pause before a session is opened again, doubled after each failure
    // up to a limit short enough to find a camera soon after it reboots.
    int firstRetryMs = 1000;
    int maxRetryMs = 5000;
    // --keep-damaged: the pictures after a loss are kept, marked damaged,
    // instead of dropped up to the next key picture.
    bool keepDamaged = false;
};

} // namespace h265split

#endif
