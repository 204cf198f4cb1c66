#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

// BGR or the camera's JPEG, at the size of its live view.
#define QUORREL_CAPS                                                                       \
    "video/x-raw, format=(string)BGR, width=(int)[1, 16384], height=(int)[1, 16384], "     \
    "framerate=(fraction)0/1, pixel-aspect-ratio=(fraction)1/1; "                          \
    "image/jpeg, width=(int)[1, 16384], height=(int)[1, 16384], framerate=(fraction)0/1, " \
    "pixel-aspect-ratio=(fraction)1/1"

#define GST_TYPE_QUORREL (gst_quorrel_get_type())
G_DECLARE_FINAL_TYPE(GstQuorrel, gst_quorrel, GST, QUORREL, GstPushSrc)

GST_ELEMENT_REGISTER_DECLARE(quorrel);

G_END_DECLS
