#pragma once

#include <gst/gst.h>

#include <vector>

#include <QString>
#include <QStringList>

namespace kolvane {

// One setting of an encoder as its settings page shows it: the encoder's own
// writable property, with its range or choices and its current value.
struct EncoderSetting {
    enum class Kind { kSwitch, kWhole, kReal, kChoice, kText };

    QString name;  // the property's name, as SetEncoderSetting takes it
    QString label;
    QString help;
    Kind kind = Kind::kText;
    double minimum = 0;  // kWhole, kReal
    double maximum = 0;
    QStringList choices;  // kChoice: the values' nicks
    QString value;        // as SetEncoderSetting takes it
};

// The encoder's settings, in the order the encoder lists them; the object's
// own name and parent are not settings.
std::vector<EncoderSetting> EncoderSettings(GstElement* encoder);

// Sets one setting from its text ("true", "12", "0.5", a choice's nick).
// False, changing nothing, for an unknown or read-only name or a value out
// of range or of the wrong kind.
bool SetEncoderSetting(GstElement* encoder, const QString& name, const QString& value);

}  // namespace kolvane
