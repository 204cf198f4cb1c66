#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_ZANTHO (gst_zantho_get_type())
G_DECLARE_FINAL_TYPE(GstZantho, gst_zantho, GST, ZANTHO, GstVideoFilter)

GST_ELEMENT_REGISTER_DECLARE(zantho);

G_END_DECLS
