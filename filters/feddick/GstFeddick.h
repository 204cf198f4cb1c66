#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_FEDDICK (gst_feddick_get_type())
G_DECLARE_FINAL_TYPE(GstFeddick, gst_feddick, GST, FEDDICK, GstElement)

GST_ELEMENT_REGISTER_DECLARE(feddick);

G_END_DECLS
