#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_QUORREL_DEVICE_PROVIDER (gst_quorrel_device_provider_get_type())
G_DECLARE_FINAL_TYPE(GstQuorrelDeviceProvider, gst_quorrel_device_provider, GST,
                     QUORREL_DEVICE_PROVIDER, GstDeviceProvider)

#define GST_TYPE_QUORREL_DEVICE (gst_quorrel_device_get_type())
G_DECLARE_FINAL_TYPE(GstQuorrelDevice, gst_quorrel_device, GST, QUORREL_DEVICE, GstDevice)

GST_DEVICE_PROVIDER_REGISTER_DECLARE(quorreldeviceprovider);

G_END_DECLS
