#include "capture/VideoModes.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kolvane {
namespace {

// The values of an int field: fixed, a list, or a range (its two ends).
struct IntValues {
    std::vector<int> list;
    int min = 0;
    int max = 0;
    bool range = false;
    bool Empty() const { return !range && list.empty(); }
};

IntValues ReadInts(const GstStructure* structure, const char* field) {
    IntValues values;
    const GValue* value = gst_structure_get_value(structure, field);
    if (value == nullptr) return values;
    if (G_VALUE_HOLDS_INT(value)) {
        values.list.push_back(g_value_get_int(value));
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        values.range = true;
        values.min = gst_value_get_int_range_min(value);
        values.max = gst_value_get_int_range_max(value);
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item)) values.list.push_back(g_value_get_int(item));
        }
    }
    return values;
}

std::vector<std::pair<int, int>> ReadRates(const GstStructure* structure) {
    std::vector<std::pair<int, int>> rates;
    const GValue* value = gst_structure_get_value(structure, "framerate");
    if (value == nullptr) return rates;
    auto add = [&rates](const GValue* item) {
        if (GST_VALUE_HOLDS_FRACTION(item) && gst_value_get_fraction_numerator(item) > 0) {
            rates.emplace_back(gst_value_get_fraction_numerator(item),
                               gst_value_get_fraction_denominator(item));
        }
    };
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            add(gst_value_list_get_value(value, i));
    } else {
        add(value);
    }
    return rates;
}

long long Area(int width, int height) {
    return static_cast<long long>(width) * height;
}

// The size a mode gives for a target: a fixed mode its own, a range the
// target kept within the range.
std::pair<int, int> SizeFor(const CVideoMode& mode, int width, int height) {
    if (!mode.IsRange()) return {mode.width, mode.height};
    return {std::clamp(width, mode.minWidth, mode.width),
            std::clamp(height, mode.minHeight, mode.height)};
}

}  // namespace

QString CVideoMode::Describe() const {
    QString text =
        IsRange()
            ? QStringLiteral("%1x%2-%3x%4").arg(minWidth).arg(minHeight).arg(width).arg(height)
            : QStringLiteral("%1x%2").arg(width).arg(height);
    text += QLatin1Char(' ') + (format.isEmpty() ? media : format);
    for (const auto& [num, den] : rates) {
        text += den == 1 ? QStringLiteral(" %1fps").arg(num)
                         : QStringLiteral(" %1fps").arg(double(num) / den, 0, 'f', 2);
    }
    return text;
}

std::vector<CVideoMode> ModesFromCaps(const GstCaps* caps) {
    std::vector<CVideoMode> modes;
    if (caps == nullptr || gst_caps_is_any(caps)) return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        CVideoMode mode;
        mode.media = QString::fromUtf8(gst_structure_get_name(structure));
        if (const char* format = gst_structure_get_string(structure, "format")) {
            mode.format = QString::fromUtf8(format);
        }
        gboolean system = FALSE;
        if (gst_structure_get_boolean(structure, "systemstream", &system)) {
            mode.systemStream = system;
        }
        mode.rates = ReadRates(structure);
        const IntValues widths = ReadInts(structure, "width");
        const IntValues heights = ReadInts(structure, "height");
        if (widths.Empty() || heights.Empty()) {
            // A DV camera's caps carry no size until it streams: PAL/NTSC.
            if (mode.media == QLatin1String("video/x-dv")) {
                mode.width = mode.minWidth = 720;
                mode.height = mode.minHeight = 576;
                modes.push_back(mode);
            }
            continue;
        }
        if (widths.range || heights.range) {
            mode.minWidth = widths.range ? std::max(widths.min, 1) : widths.list.front();
            mode.width = widths.range ? widths.max : widths.list.front();
            mode.minHeight = heights.range ? std::max(heights.min, 1) : heights.list.front();
            mode.height = heights.range ? heights.max : heights.list.front();
            modes.push_back(mode);
            continue;
        }
        // Lists of sizes pair up in order (v4l2 lists fixed sizes anyway).
        const std::size_t count = std::min(widths.list.size(), heights.list.size());
        for (std::size_t k = 0; k < count; ++k) {
            CVideoMode sized = mode;
            sized.width = sized.minWidth = widths.list[k];
            sized.height = sized.minHeight = heights.list[k];
            modes.push_back(sized);
        }
    }
    return modes;
}

CModeChoice ChooseMode(const std::vector<CVideoMode>& modes, int quality, bool hdDevice,
                       int frameRate) {
    CModeChoice choice;
    if (modes.empty()) return choice;
    const CVideoMode& first = modes.front();
    std::vector<int> counted;
    for (int i = 0; i < static_cast<int>(modes.size()); ++i) {
        if (modes[i].SameKind(first)) counted.push_back(i);
    }
    if (hdDevice) {
        choice.index = counted.front();
        choice.width = 1920;
        choice.height = 1080;
        choice.rateNum = frameRate > 0 ? frameRate : 30;
        choice.rateDen = 1;
        return choice;
    }

    int targetWidth = modes[counted.front()].width;
    int targetHeight = modes[counted.front()].height;
    if (quality == 5) {
        targetWidth = 1920;
        targetHeight = 1080;
    } else if (quality >= 1 && quality <= 4) {
        int widest = counted.front();
        for (int i : counted) {
            if (modes[i].width > modes[widest].width) widest = i;
        }
        const double scale = quality * 0.25;
        targetWidth = static_cast<int>(modes[widest].width * scale);
        targetHeight = static_cast<int>(modes[widest].height * scale);
    }

    const long long target = Area(targetWidth, targetHeight);
    long long best = std::numeric_limits<long long>::max();
    for (int i : counted) {
        const auto [width, height] = SizeFor(modes[i], targetWidth, targetHeight);
        const long long difference = std::llabs(Area(width, height) - target);
        if (difference < best) {
            best = difference;
            choice.index = i;
            choice.width = width;
            choice.height = height;
            if (difference == 0) break;
        }
    }
    // The highest rate up to 30 frames a second, else the lowest offered.
    const auto& rates = modes[choice.index].rates;
    for (const auto& [num, den] : rates) {
        const double fps = double(num) / den;
        const double chosen = choice.rateNum > 0 ? double(choice.rateNum) / choice.rateDen : 0.0;
        if (fps <= 30.0 + 1e-6 && fps > chosen) {
            choice.rateNum = num;
            choice.rateDen = den;
        }
    }
    if (choice.rateNum == 0 && !rates.empty()) {
        const auto lowest = std::min_element(rates.begin(), rates.end(), [](auto a, auto b) {
            return double(a.first) / a.second < double(b.first) / b.second;
        });
        choice.rateNum = lowest->first;
        choice.rateDen = lowest->second;
    }
    return choice;
}

GstCaps* CapsForChoice(const std::vector<CVideoMode>& modes, const CModeChoice& choice) {
    if (!choice.IsValid() || choice.index >= static_cast<int>(modes.size())) {
        return gst_caps_new_any();
    }
    const CVideoMode& mode = modes[choice.index];
    GstStructure* structure = gst_structure_new_empty(mode.media.toUtf8().constData());
    if (!mode.format.isEmpty()) {
        gst_structure_set(structure, "format", G_TYPE_STRING, mode.format.toUtf8().constData(),
                          nullptr);
    }
    if (mode.media == QLatin1String("video/x-dv")) {
        // A DV camera decides PAL or NTSC itself.
        gst_structure_set(structure, "systemstream", G_TYPE_BOOLEAN, mode.systemStream, nullptr);
    } else {
        gst_structure_set(structure, "width", G_TYPE_INT, choice.width, "height", G_TYPE_INT,
                          choice.height, nullptr);
        if (choice.rateNum > 0) {
            gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, choice.rateNum,
                              choice.rateDen, nullptr);
        }
    }
    GstCaps* caps = gst_caps_new_empty();
    gst_caps_append_structure(caps, structure);
    return caps;
}

}  // namespace kolvane
