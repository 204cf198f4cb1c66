#include "movie/EncoderSettings.h"

#include <cmath>
#include <limits>

namespace kolvane {
namespace {

bool IsSetting(const GParamSpec* spec) {
    if ((spec->flags & G_PARAM_WRITABLE) == 0 || (spec->flags & G_PARAM_READABLE) == 0 ||
        (spec->flags & G_PARAM_CONSTRUCT_ONLY) != 0) {
        return false;
    }
    const QLatin1String name(spec->name);
    return name != QLatin1String("name") && name != QLatin1String("parent");
}

QString ValueText(GObject* object, const GParamSpec* spec) {
    GValue value = G_VALUE_INIT;
    g_value_init(&value, spec->value_type);
    g_object_get_property(object, spec->name, &value);
    QString text;
    if (G_VALUE_HOLDS_ENUM(&value)) {
        GEnumClass* enums = G_ENUM_CLASS(g_type_class_peek(spec->value_type));
        const GEnumValue* found = g_enum_get_value(enums, g_value_get_enum(&value));
        if (found != nullptr) text = QString::fromUtf8(found->value_nick);
    } else if (G_VALUE_HOLDS_STRING(&value)) {
        text = QString::fromUtf8(g_value_get_string(&value));
    } else {
        gchar* serialised = gst_value_serialize(&value);
        if (serialised != nullptr) text = QString::fromUtf8(serialised);
        g_free(serialised);
    }
    g_value_unset(&value);
    return text;
}

// The kind and range of a numeric or choice property; false for a type a
// page cannot show.
bool Describe(const GParamSpec* spec, EncoderSetting& setting) {
    using Kind = EncoderSetting::Kind;
    if (G_IS_PARAM_SPEC_BOOLEAN(spec)) {
        setting.kind = Kind::kSwitch;
    } else if (G_IS_PARAM_SPEC_INT(spec)) {
        setting.kind = Kind::kWhole;
        setting.minimum = G_PARAM_SPEC_INT(spec)->minimum;
        setting.maximum = G_PARAM_SPEC_INT(spec)->maximum;
    } else if (G_IS_PARAM_SPEC_UINT(spec)) {
        setting.kind = Kind::kWhole;
        setting.minimum = G_PARAM_SPEC_UINT(spec)->minimum;
        setting.maximum = G_PARAM_SPEC_UINT(spec)->maximum;
    } else if (G_IS_PARAM_SPEC_INT64(spec)) {
        setting.kind = Kind::kWhole;
        setting.minimum = static_cast<double>(G_PARAM_SPEC_INT64(spec)->minimum);
        setting.maximum = static_cast<double>(G_PARAM_SPEC_INT64(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_UINT64(spec)) {
        setting.kind = Kind::kWhole;
        setting.minimum = static_cast<double>(G_PARAM_SPEC_UINT64(spec)->minimum);
        setting.maximum = static_cast<double>(G_PARAM_SPEC_UINT64(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_FLOAT(spec)) {
        setting.kind = Kind::kReal;
        setting.minimum = G_PARAM_SPEC_FLOAT(spec)->minimum;
        setting.maximum = G_PARAM_SPEC_FLOAT(spec)->maximum;
    } else if (G_IS_PARAM_SPEC_DOUBLE(spec)) {
        setting.kind = Kind::kReal;
        setting.minimum = G_PARAM_SPEC_DOUBLE(spec)->minimum;
        setting.maximum = G_PARAM_SPEC_DOUBLE(spec)->maximum;
    } else if (G_IS_PARAM_SPEC_ENUM(spec)) {
        setting.kind = Kind::kChoice;
        const GEnumClass* enums = G_PARAM_SPEC_ENUM(spec)->enum_class;
        for (guint i = 0; i < enums->n_values; ++i)
            setting.choices << QString::fromUtf8(enums->values[i].value_nick);
    } else if (G_IS_PARAM_SPEC_STRING(spec)) {
        setting.kind = Kind::kText;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::vector<EncoderSetting> EncoderSettings(GstElement* encoder) {
    std::vector<EncoderSetting> settings;
    if (encoder == nullptr) return settings;
    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(encoder), &count);
    for (guint i = 0; i < count; ++i) {
        const GParamSpec* spec = specs[i];
        EncoderSetting setting;
        if (!IsSetting(spec) || !Describe(spec, setting)) continue;
        setting.name = QString::fromUtf8(spec->name);
        setting.label = QString::fromUtf8(g_param_spec_get_nick(const_cast<GParamSpec*>(spec)));
        setting.help = QString::fromUtf8(g_param_spec_get_blurb(const_cast<GParamSpec*>(spec)));
        setting.value = ValueText(G_OBJECT(encoder), spec);
        settings.push_back(std::move(setting));
    }
    g_free(specs);
    return settings;
}

bool SetEncoderSetting(GstElement* encoder, const QString& name, const QString& value) {
    if (encoder == nullptr) return false;
    const QByteArray key = name.toUtf8();
    GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(encoder), key.constData());
    EncoderSetting setting;
    if (spec == nullptr || !IsSetting(spec) || !Describe(spec, setting)) return false;

    GValue parsed = G_VALUE_INIT;
    g_value_init(&parsed, spec->value_type);
    const QByteArray text = value.toUtf8();
    // Enums take their nick; everything else the GStreamer text form.
    bool ok = false;
    if (setting.kind == EncoderSetting::Kind::kChoice) {
        const GEnumValue* found =
            g_enum_get_value_by_nick(G_PARAM_SPEC_ENUM(spec)->enum_class, text.constData());
        if (found != nullptr) {
            g_value_set_enum(&parsed, found->value);
            ok = true;
        }
    } else if (setting.kind == EncoderSetting::Kind::kText) {
        g_value_set_string(&parsed, text.constData());
        ok = true;
    } else {
        ok = gst_value_deserialize(&parsed, text.constData()) != FALSE;
    }
    // Out of range is refused, not clamped.
    if (ok && g_param_value_validate(spec, &parsed)) ok = false;
    if (ok) g_object_set_property(G_OBJECT(encoder), spec->name, &parsed);
    g_value_unset(&parsed);
    return ok;
}

}  // namespace kolvane
