#include "filters/quorrel/CameraCodes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace kolvane::quorrel {
namespace {

struct NamedCode {
    int code;
    std::initializer_list<const char*> names;  // in order of preference
};

// Canon, Nikon, Sony, Fujifilm and generic PTP names of one white balance.
const NamedCode kWhiteBalanceNames[] = {
    {0, {"Auto", "Automatic", "AWB", "Auto White Balance"}},
    {1, {"Daylight", "Sunny", "Fine Weather"}},
    {2, {"Cloudy", "Cloud"}},
    {3, {"Tungsten", "Incandescent", "Tungsten Light"}},
    {4, {"Fluorescent", "Fluorescent Lamp 1", "Fluorescent: Daylight", "Fluorescent 1"}},
    {5, {"Flash"}},
    {6, {"Manual", "Preset", "Custom"}},
    {8, {"Shadow", "Shade"}},
    {9, {"Color Temperature", "Choose Color Temperature", "Kelvin"}},
};

// Canon names as libgphoto2 spells them; a code may share a name with an
// earlier one (the middle-1 and small-1 sizes), so reading a name gives the
// first code.
const NamedCode kQualityNames[] = {
    {kQualityLargeFine, {"Large Fine JPEG"}},
    {0x0012FF0F, {"Large Normal JPEG"}},
    {kQualityMiddleFine, {"Medium Fine JPEG"}},
    {0x0112FF0F, {"Medium Normal JPEG"}},
    {kQualitySmallFine, {"Small Fine JPEG"}},
    {0x0212FF0F, {"Small Normal JPEG"}},
    {0x0F13FF0F, {"Smaller JPEG"}},
    {0x1013FF0F, {"Tiny JPEG"}},
    {kQualityRawOnly, {"RAW"}},
    {0x0164FF0F, {"mRAW"}},
    {0x0264FF0F, {"sRAW"}},
    {kQualityRawLargeFine, {"RAW + Large Fine JPEG"}},
    {0x00640012, {"RAW + Large Normal JPEG"}},
    {kQualityRawMiddleFine, {"RAW + Medium Fine JPEG"}},
    {kQualityRawSmallFine, {"RAW + Small Fine JPEG"}},
    {kQualityMiddle1Fine, {"Medium Fine JPEG"}},
    {kQualitySmall1Fine, {"Small Fine JPEG"}},
    {kQualityRawMiddle1Fine, {"RAW + Medium Fine JPEG"}},
    {kQualityRawSmall1Fine, {"RAW + Small Fine JPEG"}},
};

struct ValueCode {
    int code;
    double value;
};

const ValueCode kIsoCodes[] = {
    {0x28, 6},     {0x30, 12},    {0x38, 25},    {0x40, 50},    {0x48, 100},   {0x4B, 125},
    {0x4D, 160},   {0x50, 200},   {0x53, 250},   {0x55, 320},   {0x58, 400},   {0x5B, 500},
    {0x5D, 640},   {0x60, 800},   {0x63, 1000},  {0x65, 1250},  {0x68, 1600},  {0x6B, 2000},
    {0x6D, 2500},  {0x70, 3200},  {0x73, 4000},  {0x75, 5000},  {0x78, 6400},  {0x7B, 8000},
    {0x7D, 10000}, {0x80, 12800}, {0x83, 16000}, {0x85, 20000}, {0x88, 25600}, {0x90, 51200},
    {0x98, 102400}};

const ValueCode kApertureCodes[] = {
    {0x08, 1.0},  {0x0B, 1.1},  {0x0C, 1.2},  {0x10, 1.4},  {0x13, 1.6},  {0x14, 1.8},
    {0x18, 2.0},  {0x1B, 2.2},  {0x1C, 2.5},  {0x20, 2.8},  {0x23, 3.2},  {0x24, 3.5},
    {0x28, 4.0},  {0x2B, 4.5},  {0x2D, 5.0},  {0x30, 5.6},  {0x33, 6.3},  {0x34, 6.7},
    {0x35, 7.1},  {0x38, 8.0},  {0x3B, 9.0},  {0x3C, 9.5},  {0x3D, 10.0}, {0x40, 11.0},
    {0x43, 13.0}, {0x45, 14.0}, {0x48, 16.0}, {0x4B, 18.0}, {0x4C, 19.0}, {0x4D, 20.0},
    {0x50, 22.0}, {0x53, 25.0}, {0x54, 27.0}, {0x55, 29.0}, {0x58, 32.0}, {0x5B, 36.0},
    {0x5C, 38.0}, {0x5D, 40.0}, {0x60, 45.0}, {0x63, 51.0}, {0x64, 54.0}, {0x65, 57.0},
    {0x68, 64.0}, {0x6B, 72.0}, {0x6C, 76.0}, {0x6D, 81.0}, {0x70, 91.0}};

// Exposure times in seconds.
const ValueCode kShutterCodes[] = {
    {0x10, 30},         {0x13, 25},         {0x14, 20},         {0x18, 15},
    {0x1B, 13},         {0x1C, 10},         {0x20, 8},          {0x23, 6},
    {0x25, 5},          {0x28, 4},          {0x2B, 3.2},        {0x2C, 3},
    {0x2D, 2.5},        {0x30, 2},          {0x33, 1.6},        {0x34, 1.5},
    {0x35, 1.3},        {0x38, 1},          {0x3B, 0.8},        {0x3C, 0.7},
    {0x3D, 0.6},        {0x40, 0.5},        {0x43, 0.4},        {0x44, 0.3},
    {0x48, 1.0 / 4},    {0x4B, 1.0 / 5},    {0x4C, 1.0 / 6},    {0x50, 1.0 / 8},
    {0x53, 1.0 / 10},   {0x55, 1.0 / 13},   {0x58, 1.0 / 15},   {0x5B, 1.0 / 20},
    {0x5D, 1.0 / 25},   {0x60, 1.0 / 30},   {0x63, 1.0 / 40},   {0x64, 1.0 / 45},
    {0x65, 1.0 / 50},   {0x68, 1.0 / 60},   {0x6B, 1.0 / 80},   {0x6C, 1.0 / 90},
    {0x6D, 1.0 / 100},  {0x70, 1.0 / 125},  {0x73, 1.0 / 160},  {0x74, 1.0 / 180},
    {0x75, 1.0 / 200},  {0x78, 1.0 / 250},  {0x7B, 1.0 / 320},  {0x7C, 1.0 / 350},
    {0x7D, 1.0 / 400},  {0x80, 1.0 / 500},  {0x83, 1.0 / 640},  {0x84, 1.0 / 750},
    {0x85, 1.0 / 800},  {0x88, 1.0 / 1000}, {0x8B, 1.0 / 1250}, {0x8C, 1.0 / 1500},
    {0x8D, 1.0 / 1600}, {0x90, 1.0 / 2000}, {0x93, 1.0 / 2500}, {0x94, 1.0 / 3000},
    {0x95, 1.0 / 3200}, {0x98, 1.0 / 4000}, {0x9B, 1.0 / 5000}, {0x9C, 1.0 / 6000},
    {0x9D, 1.0 / 6400}, {0xA0, 1.0 / 8000}};

// How far apart (in log2 of the value) a choice may be and still mean the
// code: a sixth of a stop for times, an eighth for f-numbers (whose stop is
// half a log2 step), exact for ISO.
constexpr double kShutterTolerance = 1.0 / 6;
constexpr double kApertureTolerance = 1.0 / 16;
constexpr double kIsoTolerance = 0.01;

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool ContainsText(std::string_view text, std::string_view word) {
    auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
    return it != text.end();
}

bool IsAutoChoice(std::string_view choice) {
    return SameText(choice, "Auto") || SameText(choice, "Automatic") ||
           SameText(choice, "Auto ISO") || SameText(choice, "ISO Auto");
}

// The number a choice shows: "100", "ISO 100", "f/5.6", "F5.6", "1/15",
// "1/15s", "0.0667s", "2\"" or "2.5".
std::optional<double> ChoiceNumber(std::string_view choice) {
    std::string text(choice);
    std::size_t start = 0;
    while (start < text.size() && !std::isdigit(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    if (start == text.size()) return std::nullopt;
    const char* begin = text.c_str() + start;
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    if (*end == '/') {
        const char* denominatorText = end + 1;
        char* denominatorEnd = nullptr;
        const double denominator = std::strtod(denominatorText, &denominatorEnd);
        if (denominatorEnd == denominatorText || denominator <= 0) return std::nullopt;
        value /= denominator;
    }
    if (!(value > 0)) return std::nullopt;
    return value;
}

template <std::size_t N>
std::optional<int> NearestCode(const ValueCode (&table)[N], double value, double tolerance) {
    std::optional<int> best;
    double bestDistance = tolerance;
    for (const ValueCode& entry : table) {
        const double distance = std::fabs(std::log2(entry.value) - std::log2(value));
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = entry.code;
        }
    }
    return best;
}

template <std::size_t N>
std::optional<double> ValueOf(const ValueCode (&table)[N], int code) {
    for (const ValueCode& entry : table) {
        if (entry.code == code) return entry.value;
    }
    return std::nullopt;
}

std::optional<std::string> NamedChoice(const NamedCode* begin, const NamedCode* end, int code,
                                       const std::vector<std::string>& choices) {
    for (const NamedCode* entry = begin; entry != end; ++entry) {
        if (entry->code != code) continue;
        for (const char* name : entry->names) {
            for (const std::string& choice : choices) {
                if (SameText(choice, name)) return choice;
            }
        }
    }
    return std::nullopt;
}

std::optional<int> NamedCodeOf(const NamedCode* begin, const NamedCode* end,
                               std::string_view choice) {
    for (const NamedCode* entry = begin; entry != end; ++entry) {
        for (const char* name : entry->names) {
            if (SameText(choice, name)) return entry->code;
        }
    }
    return std::nullopt;
}

// Bodies other than Canon name their quality in their own words ("NEF+Fine",
// "RAW+JPEG", "Extra Fine"); what counts is whether a raw file comes along.
std::optional<int> QualityByWords(std::string_view choice) {
    static const char* const kRawWords[] = {"RAW", "NEF", "RAF", "ARW", "ORF", "RW2", "PEF", "DNG"};
    static const char* const kJpegWords[] = {"JPEG",  "JPG",      "Fine", "Normal",
                                             "Basic", "Standard", "+"};
    const bool raw = std::any_of(std::begin(kRawWords), std::end(kRawWords),
                                 [&](const char* word) { return ContainsText(choice, word); });
    const bool jpeg = std::any_of(std::begin(kJpegWords), std::end(kJpegWords),
                                  [&](const char* word) { return ContainsText(choice, word); });
    if (raw && jpeg) return kQualityRawLargeFine;
    if (raw) return kQualityRawOnly;
    if (jpeg) return kQualityLargeFine;
    return std::nullopt;
}

template <std::size_t N>
std::optional<std::string> ValueChoice(const ValueCode (&table)[N], int code, double tolerance,
                                       const std::vector<std::string>& choices) {
    const std::optional<double> wanted = ValueOf(table, code);
    if (!wanted) return std::nullopt;
    std::optional<std::string> best;
    double bestDistance = tolerance;
    for (const std::string& choice : choices) {
        const std::optional<double> value = ChoiceNumber(choice);
        if (!value) continue;
        const double distance = std::fabs(std::log2(*value) - std::log2(*wanted));
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = choice;
        }
    }
    return best;
}

}  // namespace

std::optional<std::string> ChoiceForCode(CameraSetting setting, int code,
                                         const std::vector<std::string>& choices) {
    switch (setting) {
        case CameraSetting::kWhiteBalance:
            return NamedChoice(std::begin(kWhiteBalanceNames), std::end(kWhiteBalanceNames), code,
                               choices);
        case CameraSetting::kImageQuality:
            return NamedChoice(std::begin(kQualityNames), std::end(kQualityNames), code, choices);
        case CameraSetting::kIso:
            if (code == 0) {
                for (const std::string& choice : choices) {
                    if (IsAutoChoice(choice)) return choice;
                }
                return std::nullopt;
            }
            return ValueChoice(kIsoCodes, code, kIsoTolerance, choices);
        case CameraSetting::kAperture:
            return ValueChoice(kApertureCodes, code, kApertureTolerance, choices);
        case CameraSetting::kShutterSpeed:
            return ValueChoice(kShutterCodes, code, kShutterTolerance, choices);
    }
    return std::nullopt;
}

std::optional<int> CodeForChoice(CameraSetting setting, std::string_view choice) {
    switch (setting) {
        case CameraSetting::kWhiteBalance:
            return NamedCodeOf(std::begin(kWhiteBalanceNames), std::end(kWhiteBalanceNames),
                               choice);
        case CameraSetting::kImageQuality: {
            const std::optional<int> code =
                NamedCodeOf(std::begin(kQualityNames), std::end(kQualityNames), choice);
            return code ? code : QualityByWords(choice);
        }
        case CameraSetting::kIso: {
            if (IsAutoChoice(choice)) return 0;
            const std::optional<double> value = ChoiceNumber(choice);
            return value ? NearestCode(kIsoCodes, *value, kIsoTolerance) : std::nullopt;
        }
        case CameraSetting::kAperture: {
            const std::optional<double> value = ChoiceNumber(choice);
            return value ? ApertureCodeForFNumber(*value) : std::nullopt;
        }
        case CameraSetting::kShutterSpeed: {
            const std::optional<double> value = ChoiceNumber(choice);
            return value ? NearestCode(kShutterCodes, *value, kShutterTolerance) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ImageSizeChoiceForQuality(int quality,
                                                     const std::vector<std::string>& choices) {
    // The JPEG's size code: the first image's, or the second's beside a raw.
    const int sizeCode = QualityHasRaw(quality) ? (quality >> 8) & 0xFF : (quality >> 24) & 0xFF;
    int rank = 0;  // 0 large, 1 medium, 2 small
    if (sizeCode == 1 || sizeCode == 5 || sizeCode == 6) rank = 1;
    if (sizeCode == 2 || (sizeCode >= 0x0E && sizeCode <= 0x10)) rank = 2;
    static const char* const kNamed[3][2] = {{"L", "Large"}, {"M", "Medium"}, {"S", "Small"}};
    for (const char* name : kNamed[rank]) {
        for (const std::string& choice : choices) {
            if (SameText(choice, name)) return choice;
        }
    }
    std::vector<std::pair<long long, std::string>> sizes;
    for (const std::string& choice : choices) {
        int width = 0;
        int height = 0;
        if (std::sscanf(choice.c_str(), "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
            sizes.emplace_back(static_cast<long long>(width) * height, choice);
        }
    }
    if (sizes.empty()) return std::nullopt;
    std::stable_sort(sizes.begin(), sizes.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    const std::size_t index = rank == 0 ? 0 : rank == 2 ? sizes.size() - 1 : sizes.size() / 2;
    return sizes[index].second;
}

std::optional<int> ApertureCodeForFNumber(double fNumber) {
    if (!(fNumber > 0)) return std::nullopt;
    return NearestCode(kApertureCodes, fNumber, kApertureTolerance);
}

std::optional<double> FNumberForApertureCode(int code) {
    return ValueOf(kApertureCodes, code);
}

}  // namespace kolvane::quorrel
